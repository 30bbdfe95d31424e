// platform.h (via win32_fixtures.h) comes before <windows.h>, whose macros
// share its constant names; none of those names is used below.
#include "win32_fixtures.h"

#include <windows.h>
#include <winver.h>

namespace setup_test {
namespace {

// Opens `subKey` of HKEY_CLASSES_ROOT; closed when the scope ends.
class RawKey {
 public:
  RawKey(const std::string& subKey, REGSAM access) {
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, access, &key_) != NO_ERROR) {
      key_ = nullptr;
    }
  }
  ~RawKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  RawKey(const RawKey&) = delete;
  RawKey& operator=(const RawKey&) = delete;

  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::u16string TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return std::u16string();
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);  // ends with '\'
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// `text` in the ANSI code page, characters outside it replaced.
std::string NarrowAnsi(const std::u16string& text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  const int bytes =
      ::WideCharToMultiByte(CP_ACP, 0, Wide(text), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(bytes), '\0');
  // Sized just above: the conversion cannot fall short.
  static_cast<void>(
      ::WideCharToMultiByte(CP_ACP, 0, Wide(text), length, &narrow[0], bytes, nullptr, nullptr));
  return narrow;
}

// The full path of a loaded module; empty when it cannot be had.
std::u16string ModulePath(HMODULE module) {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameW(module, buffer, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::u16string();
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

}  // namespace

std::string UniqueName(const char* stem) {
  static unsigned counter = 0;
  return std::string(stem) + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(++counter);
}

bool CreateClassesRootKey(const std::string& subKey) {
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != NO_ERROR) {
    return false;
  }
  ::RegCloseKey(key);
  return true;
}

bool DeleteClassesRootKey(const std::string& subKey) {
  return ::RegDeleteKeyA(HKEY_CLASSES_ROOT, subKey.c_str()) == NO_ERROR;
}

bool WriteClassesRootValue(const std::string& subKey, const char16_t* valueName,
                           const char16_t* data, std::uint32_t size) {
  const RawKey key(subKey, KEY_SET_VALUE);
  return key.get() != nullptr &&
         ::RegSetValueExW(key.get(), reinterpret_cast<const wchar_t*>(valueName), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data), size) == NO_ERROR;
}

bool ReadClassesRootValue(const std::string& subKey, const char16_t* valueName, std::string* data) {
  const RawKey key(subKey, KEY_QUERY_VALUE);
  const wchar_t* name = reinterpret_cast<const wchar_t*>(valueName);
  DWORD size = 0;
  if (key.get() == nullptr ||
      ::RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, &size) != NO_ERROR) {
    return false;
  }
  std::string bytes(size, '\0');
  if (size > 0 && ::RegQueryValueExW(key.get(), name, nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(&bytes[0]), &size) != NO_ERROR) {
    return false;
  }
  bytes.resize(size);
  *data = bytes;
  return true;
}

ScratchFolder::ScratchFolder(const char* stem) { Create(WidenAnsi(UniqueName(stem))); }

ScratchFolder::ScratchFolder(const char16_t* stem) { Create(stem + WidenAnsi(UniqueName(""))); }

void ScratchFolder::Create(const std::u16string& leaf) {
  const std::u16string temp = TempFolder();
  if (temp.empty()) return;
  widePath_ = temp + leaf;
  path_ = NarrowAnsi(widePath_);
  created_ = ::CreateDirectoryW(Wide(widePath_), nullptr) != FALSE;
}

ScratchFolder::~ScratchFolder() {
  for (const std::u16string& file : files_) ::DeleteFileW(Wide(file));
  if (created_) ::RemoveDirectoryW(Wide(widePath_));
}

bool ScratchFolder::AddFile(const char* name, const std::string& content) {
  return AddFile(WidenAnsi(name).c_str(), content);
}

bool ScratchFolder::AddFile(const char16_t* name, const std::string& content) {
  const std::u16string file = widePath_ + u"\\" + name;
  const HANDLE handle = ::CreateFileW(Wide(file), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  files_.push_back(file);
  DWORD written = 0;
  const BOOL wrote =
      ::WriteFile(handle, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  ::CloseHandle(handle);
  return wrote != FALSE && written == content.size();
}

bool ScratchFolder::AddCopy(const char* name, const std::string& source) {
  const std::u16string file = widePath_ + u"\\" + WidenAnsi(name);
  if (::CopyFileW(Wide(WidenAnsi(source)), Wide(file), TRUE) == FALSE) return false;
  files_.push_back(file);
  return true;
}

std::u16string ScratchFolder::PathFor(const char16_t* name) {
  files_.push_back(widePath_ + u"\\" + name);
  return files_.back();
}

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool RemoveFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != FALSE || !FileExists(path);
}

std::u16string ReadUtf16File(const std::string& path) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::u16string();
  std::u16string text;
  char16_t chunk[256];
  DWORD read = 0;
  while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) != FALSE && read > 0) {
    text.append(chunk, read / sizeof(char16_t));
  }
  ::CloseHandle(file);
  return text;
}

bool ReadFileBytes(const std::u16string& path, std::string* bytes) {
  const HANDLE file = ::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char chunk[256];
  DWORD read = 0;
  while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) != FALSE && read > 0) {
    bytes->append(chunk, read);
  }
  ::CloseHandle(file);
  return true;
}

std::string ExecutableFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::string();
  const std::string path(buffer, length);
  const std::size_t separator = path.rfind('\\');
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return std::string(buffer, length);
}

bool ChangeDirectory(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) != FALSE;
}

bool ChangeDirectory(const std::u16string& path) {
  return ::SetCurrentDirectoryW(Wide(path)) != FALSE;
}

bool IsDirectory(const std::u16string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::u16string SystemDirectory() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::u16string();
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

std::vector<std::u16string> SystemFolderForms() {
  std::vector<std::u16string> forms{LowerAscii(SystemDirectory())};
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemWow64DirectoryW(buffer, MAX_PATH + 1);
  if (length > 0 && length <= MAX_PATH) {
    forms.push_back(LowerAscii(std::u16string(reinterpret_cast<const char16_t*>(buffer), length)));
  }
  return forms;
}

std::u16string WidenAnsi(const std::string& text) {
  if (text.empty()) return std::u16string();
  const int length = static_cast<int>(text.size());
  const int units = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (units <= 0) return std::u16string();
  std::u16string wide(static_cast<std::size_t>(units), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(&wide[0]),
                        units);
  return wide;
}

std::u16string ModuleFolderOf(setup::SystemLibrary::ExportAddress address) {
  HMODULE module = nullptr;
  if (::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(address), &module) == FALSE) {
    return std::u16string();
  }
  return FolderOf(ModulePath(module));
}

std::u16string LoadedModulePath(const wchar_t* moduleName) {
  const HMODULE module = ::GetModuleHandleW(moduleName);
  return module != nullptr ? ModulePath(module) : std::u16string();
}

std::u16string FolderOf(const std::u16string& path) {
  const std::size_t separator = path.rfind(u'\\');
  return separator == std::u16string::npos ? std::u16string() : path.substr(0, separator);
}

std::u16string LowerAscii(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  }
  return text;
}

std::string EnvironmentVariable(const char* name) {
  const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) return std::string();
  std::string value(size, '\0');
  const DWORD length = ::GetEnvironmentVariableA(name, &value[0], size);
  if (length == 0 || length >= size) return std::string();
  value.resize(length);
  return value;
}

std::uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

bool RunToExit(const std::string& program, std::uint32_t timeoutMs, std::uint32_t* exitCode) {
  std::string commandLine = "\"" + program + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &started) == FALSE) {
    return false;
  }
  ::CloseHandle(started.hThread);
  bool ended = ::WaitForSingleObject(started.hProcess, timeoutMs) == WAIT_OBJECT_0;
  if (!ended) {
    ::TerminateProcess(started.hProcess, 1);
    ::WaitForSingleObject(started.hProcess, timeoutMs);
  }
  DWORD code = 0;
  ended = ended && ::GetExitCodeProcess(started.hProcess, &code) != FALSE;
  ::CloseHandle(started.hProcess);
  if (ended) *exitCode = code;
  return ended;
}

bool TerminateAndWait(setup::KernelHandle process) {
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(process));
  return ::TerminateProcess(handle, 1) != FALSE &&
         ::WaitForSingleObject(handle, 30000) == WAIT_OBJECT_0;
}

// Resources of a built program ---------------------------------------------

std::string ManifestOf(const std::string& programPath) {
  const HMODULE program = ::LoadLibraryExA(
      programPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (program == nullptr) return std::string();
  std::string manifest;
  const HRSRC resource = ::FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  const HGLOBAL loaded = resource != nullptr ? ::LoadResource(program, resource) : nullptr;
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data != nullptr)
    manifest.assign(static_cast<const char*>(data), ::SizeofResource(program, resource));
  ::FreeLibrary(program);
  return manifest;
}

namespace {

std::string VersionString(const std::vector<char>& block, const char* name) {
  const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
  char* text = nullptr;
  UINT length = 0;
  if (::VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) ==
          FALSE ||
      text == nullptr || length == 0) {
    return std::string();
  }
  return std::string(text, length - 1);
}

}  // namespace

VersionInformation VersionOf(const std::string& programPath) {
  VersionInformation version;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(programPath.c_str(), &ignored);
  if (size == 0) return version;
  std::vector<char> block(size);
  if (::GetFileVersionInfoA(programPath.c_str(), 0, size, block.data()) == FALSE) return version;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedLength = 0;
  if (::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedLength) ==
          FALSE ||
      fixed == nullptr) {
    return version;
  }
  version.present = true;
  version.fixedFileVersion = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                             std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                             std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                             std::to_string(LOWORD(fixed->dwFileVersionLS));
  version.fileVersion = VersionString(block, "FileVersion");
  version.productVersion = VersionString(block, "ProductVersion");
  version.productName = VersionString(block, "ProductName");
  version.fileDescription = VersionString(block, "FileDescription");
  version.originalFilename = VersionString(block, "OriginalFilename");
  return version;
}

}  // namespace setup_test
