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
// Stores `size` bytes of `data` as a REG_SZ value through the UTF-16 call,
// which converts nothing.
bool WriteClassesRootValue(const std::string& subKey, const char16_t* valueName,
                           const char16_t* data, std::uint32_t size);
// Reads a value's bytes whole, unconverted; false when it cannot be read.
bool ReadClassesRootValue(const std::string& subKey, const char16_t* valueName, std::string* data);

// Files and folders --------------------------------------------------------
// A folder under %TEMP% that exists for the fixture's lifetime; the files
// added to it are removed with it.
class ScratchFolder {
 public:
  // Creates `%TEMP%\<UniqueName(stem)>`.
  explicit ScratchFolder(const char* stem);
  // The same for a stem that may hold text outside the ANSI code page.
  explicit ScratchFolder(const char16_t* stem);
  // Removes the added files, then the folder.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // True when the folder was created.
  bool created() const { return created_; }
  // The folder's full path, without a trailing backslash; in the ANSI code
  // page, so whole only for a narrow stem.
  const std::string& path() const { return path_; }
  // The same in UTF-16, whole for either stem.
  const std::u16string& wide_path() const { return widePath_; }
  // Writes `content` to `<path>\<name>`; true on success.
  bool AddFile(const char* name, const std::string& content);
  bool AddFile(const char16_t* name, const std::string& content);
  // Copies the file `source` to `<path>\<name>`; true on success.
  bool AddCopy(const char* name, const std::string& source);
  // `<path>\<name>`, for a file the code under test is to make there; it is
  // removed with the folder if it was made.
  std::u16string PathFor(const char16_t* name);

 private:
  void Create(const std::u16string& leaf);

  std::string path_;
  std::u16string widePath_;
  bool created_ = false;
  std::vector<std::u16string> files_;
};

// True when `path` names an existing file (not a folder).
bool FileExists(const std::string& path);
// Deletes the file `path` if there is one; true when none is left.
bool RemoveFile(const std::string& path);
// The whole of the file `path` read as UTF-16 text; empty when unreadable.
std::u16string ReadUtf16File(const std::string& path);
// The bytes of the file `path`, read through a handle of its own that
// lets others read and write meanwhile; false when it cannot be opened.
bool ReadFileBytes(const std::u16string& path, std::string* bytes);
// The folder (no trailing backslash) of this test program.
std::string ExecutableFolder();
// The current directory; empty when it cannot be read.
std::string CurrentDirectory();
// Makes `path` the current directory; true on success.
bool ChangeDirectory(const std::string& path);
bool ChangeDirectory(const std::u16string& path);
// True when `path` names an existing folder.
bool IsDirectory(const std::u16string& path);
// The system folder, from the system itself.
std::u16string SystemDirectory();
// Every folder the system folder may stand for in this process: the system
// folder and, for a 32-bit process on 64-bit Windows, the folder the file
// system redirects it to. ASCII letters lowered.
std::vector<std::u16string> SystemFolderForms();
// `text` in the system ANSI code page converted to UTF-16.
std::u16string WidenAnsi(const std::string& text);
// The folder (no trailing backslash) of the module that holds `address`;
// empty when no module holds it.
std::u16string ModuleFolderOf(setup::SystemLibrary::ExportAddress address);
// The full path of the module of that name loaded in this process; empty
// when none is.
std::u16string LoadedModulePath(const wchar_t* moduleName);
// The folder part (no trailing backslash) of `path`; empty when it has none.
std::u16string FolderOf(const std::u16string& path);
// ASCII letters lowered, for comparing paths.
std::u16string LowerAscii(std::u16string text);

// Environment --------------------------------------------------------------
// The value of the environment variable `name`; empty when unset.
std::string EnvironmentVariable(const char* name);

// Resources of a built program ---------------------------------------------
// The text of the program's manifest resource (RT_MANIFEST, id 1); empty
// when it has none or cannot be read.
std::string ManifestOf(const std::string& programPath);

struct VersionInformation {
  bool present = false;
  std::string fixedFileVersion;  // from VS_FIXEDFILEINFO, "a.b.c.d"
  std::string fileVersion;       // the string table's entries, 040904B0
  std::string productVersion;
  std::string productName;
  std::string fileDescription;
  std::string originalFilename;
};
// The program's version resource, as the version functions report it.
VersionInformation VersionOf(const std::string& programPath);

// Processes ----------------------------------------------------------------
// This process's id, from the system itself.
std::uint32_t CurrentProcessId();
// Runs `program` (no arguments) in this process's current directory and
// waits up to `timeoutMs` for it to end; true with its exit code when it
// ran and ended (one that did not end is terminated).
bool RunToExit(const std::string& program, std::uint32_t timeoutMs, std::uint32_t* exitCode);
// Ends `process` with exit code 1 and waits for it; true when it ended.
bool TerminateAndWait(setup::KernelHandle process);

}  // namespace setup_test

#endif  // SETUP_TESTS_WIN32_WIN32_FIXTURES_H
