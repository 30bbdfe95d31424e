// What the kit does to the machine, each undone by its owner: files and
// folders under the kit's own work folder, registry values put back as
// they were found, processes always waited for or ended.
#ifndef SETUP_KIT_FIRST_RUN_KIT_MACHINE_H
#define SETUP_KIT_FIRST_RUN_KIT_MACHINE_H

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace first_run {

struct ProcessEnd {
  DWORD startError = 0;  // CreateProcessW's; 0 when it started
  bool timedOut = false;  // ended by the kit after its limit
  DWORD exitCode = 0;
};

// Starts `commandLine` hidden in `folder` (the kit's own when empty),
// calls `whileRunning` with the process, then waits up to `limitMs`; a
// process still running then is ended.
ProcessEnd RunAndWait(const std::wstring& application, std::wstring commandLine,
                      const std::wstring& folder, DWORD limitMs,
                      const std::function<void(HANDLE)>& whileRunning = {});

std::wstring SystemFolder();
std::wstring WindowsFolder();
std::wstring ModuleFolder();
std::wstring TempFolder();
// The short (8.3) form of an existing path; the path itself when it has none.
std::wstring ShortForm(const std::wstring& path);

bool Exists(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::optional<std::string> ReadFileBytes(const std::wstring& path);
// Names (not paths) of the files in `folder` matching `pattern`.
std::vector<std::wstring> FilesIn(const std::wstring& folder, const std::wstring& pattern);
// Deletes `path` with everything under it.
void RemoveTree(const std::wstring& path);

bool KeyExists(HKEY root, const std::wstring& keyPath, REGSAM view = 0);
// A value's type and bytes; none when absent or unreadable.
std::optional<std::pair<DWORD, std::vector<BYTE>>> ReadValue(HKEY root, const std::wstring& keyPath,
                                                             const wchar_t* valueName,
                                                             REGSAM view = 0);

bool UnderWine();
bool RunsAsSystem();
// Whether this process's token is elevated (an administrator's, with UAC).
bool RunsElevated();
DWORD SessionOfThisProcess();

// Sets (or with an empty text, leaves) an environment variable of this
// process, which every program it starts inherits; puts the old one back.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::optional<std::wstring>& value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> old_;
};

// One registry value as found: written back byte for byte with its type,
// or deleted when it was absent, and the key deleted when the kit made it.
class SavedValue {
 public:
  SavedValue(HKEY root, const std::wstring& keyPath, const wchar_t* valueName, REGSAM view);
  ~SavedValue();
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;

  // Writes `text` as REG_SZ; false (nothing written) when the key cannot be had.
  bool Set(const std::wstring& text);
  // The value now, as text; none when absent or not text.
  std::optional<std::wstring> Text() const;

 private:
  HKEY root_;
  std::wstring keyPath_;
  std::wstring valueName_;
  REGSAM view_;
  bool keyExisted_ = false;
  std::wstring firstMade_;  // the shallowest key of the path that did not exist
  bool read_ = false;  // the old state is known: only then is anything changed
  bool changed_ = false;
  std::optional<std::pair<DWORD, std::vector<BYTE>>> old_;
};

}  // namespace first_run

#endif  // SETUP_KIT_FIRST_RUN_KIT_MACHINE_H
