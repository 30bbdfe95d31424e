// Raw Win32 helpers for the fixtures of the Win32 platform tests.
//
// Test files call the platform under test with our constants, which
// <windows.h> would turn into its macros; so the direct Win32 calls that
// set a scene up or check it from outside live behind this header, which
// stays free of <windows.h>.
#ifndef SETUP_TESTS_WIN32_WIN32_FIXTURES_H
#define SETUP_TESTS_WIN32_WIN32_FIXTURES_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace setup_test {

// `stem` followed by this process's id and a per-process counter.
std::string UniqueName(const char* stem);

// Registry under HKEY_CLASSES_ROOT -----------------------------------------
// Creates (or opens) the key `subKey`; true on success.
bool CreateClassesRootKey(const std::string& subKey);
// Deletes the key `subKey`, which must have no subkeys; true on success.
bool DeleteClassesRootKey(const std::string& subKey);
// Stores exactly `size` bytes of `data` as a REG_SZ value.
bool WriteClassesRootValue(const std::string& subKey, const char* valueName, const char* data,
                           std::uint32_t size);
// Reads a value's bytes whole; false when it cannot be read.
bool ReadClassesRootValue(const std::string& subKey, const char* valueName,
                          std::string* data);

// Files and folders --------------------------------------------------------
// A folder under %TEMP% that exists for the fixture's lifetime; the files
// added to it are removed with it.
class ScratchFolder {
 public:
  // Creates `%TEMP%\<UniqueName(stem)>`.
  explicit ScratchFolder(const char* stem);
  // Removes the added files, then the folder.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // True when the folder was created.
  bool created() const { return created_; }
  // The folder's full path, without a trailing backslash.
  const std::string& path() const { return path_; }
  // Writes `content` to `<path>\<name>`; true on success.
  bool AddFile(const char* name, const std::string& content);

 private:
  std::string path_;
  bool created_ = false;
  std::vector<std::string> files_;
};

// The current directory; empty when it cannot be read.
std::string CurrentDirectory();
// Makes `path` the current directory; true on success.
bool ChangeDirectory(const std::string& path);
// True when `path` names an existing folder.
bool IsDirectory(const std::string& path);
// The system folder, from the system itself.
std::u16string SystemDirectory();
// `text` in the system ANSI code page converted to UTF-16.
std::u16string WidenAnsi(const std::string& text);
// The folder (no trailing backslash) of the module that holds `address`;
// empty when no module holds it.
std::u16string ModuleFolderOf(setup::SystemLibrary::ExportAddress address);
// ASCII letters lowered, for comparing paths.
std::u16string LowerAscii(std::u16string text);

// Processes and locale -----------------------------------------------------
// Ends `process` with exit code 1 and waits for it; true when it ended.
bool TerminateAndWait(setup::KernelHandle process);
// The system ANSI code page.
std::uint32_t AnsiCodePage();

}  // namespace setup_test

#endif  // SETUP_TESTS_WIN32_WIN32_FIXTURES_H
