#include "environment.h"

#include <windows.h>

namespace wine_tools {

bool ReadEnvironment(const wchar_t* name, std::wstring& value) {
  value.clear();
  // A set variable needs at least one unit, its terminator.
  if (GetEnvironmentVariableW(name, nullptr, 0) == 0) return false;
  value = ReadGrowingText([name](wchar_t* buffer, DWORD capacity) {
    return GetEnvironmentVariableW(name, buffer, capacity);
  });
  return true;
}

std::wstring CurrentDirectory() {
  return ReadGrowingText(
      [](wchar_t* buffer, DWORD capacity) { return GetCurrentDirectoryW(capacity, buffer); });
}

std::wstring ModulePath() {
  // GetModuleFileNameW truncates instead of reporting the size it needs, so a
  // result that fills the buffer asks for a bigger one.
  return ReadGrowingText([](wchar_t* buffer, DWORD capacity) {
    const DWORD written = GetModuleFileNameW(nullptr, buffer, capacity);
    return written >= capacity ? capacity * 2 : written;
  });
}

std::wstring SystemDirectory() {
  return ReadGrowingText([](wchar_t* buffer, DWORD capacity) {
    return GetSystemDirectoryW(buffer, static_cast<UINT>(capacity));
  });
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace wine_tools
