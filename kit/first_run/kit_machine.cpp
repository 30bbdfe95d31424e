#include "kit_machine.h"

#include <utility>

#include "environment.h"
#include "scoped_handles.h"

namespace first_run {

namespace {

using wine_tools::ReadGrowingText;
using wine_tools::ScopedHandle;
using wine_tools::ScopedKey;

std::wstring WithoutTrailingSlash(std::wstring path) {
  if (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

}  // namespace

ProcessEnd RunAndWait(const std::wstring& application, std::wstring commandLine,
                      const std::wstring& folder, DWORD limitMs,
                      const std::function<void(HANDLE)>& whileRunning) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  ProcessEnd end;
  if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), &commandLine[0],
                      nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    end.startError = GetLastError();
    return end;
  }
  const ScopedHandle process(started.hProcess);
  const ScopedHandle thread(started.hThread);
  if (whileRunning) whileRunning(process.get());
  if (WaitForSingleObject(process.get(), limitMs) != WAIT_OBJECT_0) {
    end.timedOut = true;
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 10000);
  }
  GetExitCodeProcess(process.get(), &end.exitCode);
  return end;
}

std::wstring SystemFolder() { return wine_tools::SystemDirectory(); }

std::wstring WindowsFolder() {
  return ReadGrowingText(
      [](wchar_t* buffer, DWORD size) { return GetSystemWindowsDirectoryW(buffer, size); });
}

std::wstring ModuleFolder() {
  const std::wstring path = wine_tools::ModulePath();
  return path.substr(0, path.rfind(L'\\'));
}

std::wstring TempFolder() {
  return WithoutTrailingSlash(
      ReadGrowingText([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); }));
}

std::wstring ShortForm(const std::wstring& path) {
  const std::wstring shortPath = ReadGrowingText([&](wchar_t* buffer, DWORD size) {
    return GetShortPathNameW(path.c_str(), buffer, size);
  });
  return shortPath.empty() ? path : shortPath;
}

bool Exists(const std::wstring& path) { return wine_tools::PathExists(path); }

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file.valid() &&
         WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) &&
         written == bytes.size();
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
  const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
    bytes.append(chunk, got);
  }
  return bytes;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder, const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

bool KeyExists(HKEY root, const std::wstring& keyPath, REGSAM view) {
  ScopedKey key;
  return RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | view, key.receive()) == ERROR_SUCCESS;
}

std::optional<std::pair<DWORD, std::vector<BYTE>>> ReadValue(HKEY root, const std::wstring& keyPath,
                                                             const wchar_t* valueName,
                                                             REGSAM view) {
  ScopedKey key;
  if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | view, key.receive()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<BYTE> bytes(size);
  if (RegQueryValueExW(key.get(), valueName, nullptr, &type, bytes.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  bytes.resize(size);
  return std::make_pair(type, bytes);
}

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool RunsAsSystem() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const ScopedHandle owned(token);
  BYTE buffer[256];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return false;
  return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) !=
         FALSE;
}

bool RunsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const ScopedHandle owned(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

DWORD SessionOfThisProcess() {
  DWORD session = 0xFFFFFFFFu;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return 0xFFFFFFFFu;
  return session;
}

ScopedVariable::ScopedVariable(const wchar_t* name, const std::optional<std::wstring>& value)
    : name_(name) {
  std::wstring old;
  if (wine_tools::ReadEnvironment(name, old)) old_ = old;
  SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
}

ScopedVariable::~ScopedVariable() {
  SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr);
}

SavedValue::SavedValue(HKEY root, const std::wstring& keyPath, const wchar_t* valueName,
                       REGSAM view)
    : root_(root), keyPath_(keyPath), valueName_(valueName), view_(view) {
  ScopedKey key;
  const LONG opened = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | view, key.receive());
  keyExisted_ = opened == ERROR_SUCCESS;
  if (opened == ERROR_FILE_NOT_FOUND) {
    // Creating the key makes every missing key above it too.
    firstMade_ = keyPath;
    for (std::size_t end = keyPath.rfind(L'\\'); end != std::wstring::npos && end > 0;
         end = keyPath.rfind(L'\\', end - 1)) {
      if (KeyExists(root, keyPath.substr(0, end), view)) break;
      firstMade_ = keyPath.substr(0, end);
    }
    read_ = true;
    return;
  }
  if (!keyExisted_) return;
  old_ = ReadValue(root, keyPath, valueName, view);
  DWORD type = 0;
  const LONG asked = RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, nullptr);
  // Absent, or read whole: anything else is not known well enough to undo.
  read_ = old_.has_value() || asked == ERROR_FILE_NOT_FOUND;
}

bool SavedValue::Set(const std::wstring& text) {
  if (!read_) return false;
  ScopedKey key;
  if (RegCreateKeyExW(root_, keyPath_.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view_, nullptr,
                      key.receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  changed_ = true;
  const auto size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.get(), valueName_.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()), size) == ERROR_SUCCESS;
}

std::optional<std::wstring> SavedValue::Text() const {
  const auto value = ReadValue(root_, keyPath_, valueName_.c_str(), view_);
  if (!value || value->first != REG_SZ) return std::nullopt;
  std::wstring text(reinterpret_cast<const wchar_t*>(value->second.data()),
                    value->second.size() / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

SavedValue::~SavedValue() {
  if (!changed_) return;
  if (!keyExisted_) {
    ScopedKey parent;
    const std::size_t split = firstMade_.rfind(L'\\');
    const std::wstring above = split == std::wstring::npos ? std::wstring() : firstMade_.substr(0, split);
    if (RegOpenKeyExW(root_, above.c_str(), 0, KEY_ALL_ACCESS | view_, parent.receive()) ==
        ERROR_SUCCESS) {
      const std::wstring made = firstMade_.substr(split == std::wstring::npos ? 0 : split + 1);
      RegDeleteTreeW(parent.get(), made.c_str());
      RegDeleteKeyExW(parent.get(), made.c_str(), view_, 0);
    }
    return;
  }
  ScopedKey key;
  if (RegOpenKeyExW(root_, keyPath_.c_str(), 0, KEY_SET_VALUE | view_, key.receive()) !=
      ERROR_SUCCESS) {
    return;
  }
  if (old_) {
    RegSetValueExW(key.get(), valueName_.c_str(), 0, old_->first, old_->second.data(),
                   static_cast<DWORD>(old_->second.size()));
  } else {
    RegDeleteValueW(key.get(), valueName_.c_str());
  }
}

}  // namespace first_run
