// platform.h (via system_library.h) comes before <windows.h>, whose macros
// share its constant names.
#include "platform/win32/system_library.h"

#include "platform/bounded_text.h"
#include "platform/win32/dll_search_path.h"

#include <windows.h>

namespace setup {
namespace {

static_assert(sizeof(wchar_t) == 2, "Windows text is UTF-16");

// The name must be a bare file name: anything that reaches outside the
// system folder would defeat the point of loading from it.
bool IsBareFileName(const wchar_t* fileName) {
  if (fileName == nullptr || fileName[0] == L'\0') return false;
  for (const wchar_t* unit = fileName; *unit != L'\0'; ++unit) {
    if (*unit == L'\\' || *unit == L'/' || *unit == L':') return false;
  }
  return true;
}

// Loads `<system folder>\<fileName>`. The altered search path makes the
// DLL's own dependencies resolve from the system folder too, not from the
// program's folder.
HMODULE LoadByFullPath(const wchar_t* fileName) {
  BoundedText<wchar_t, MAX_PATH> path;
  const UINT length =
      ::GetSystemDirectoryW(path.writable_buffer(), static_cast<UINT>(path.capacity()));
  if (length == 0) return nullptr;
  if (length >= path.capacity()) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  path.adopt_written_text();
  if (!path.append(L'\\') || !path.append(fileName)) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadFromSystemFolder(const wchar_t* fileName, SystemLibrary::LoadRoute route) {
  if (route == SystemLibrary::LoadRoute::Automatic && SystemHasDllSearchFlags()) {
    const HMODULE module = ::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A system that rejects the flag says so with ERROR_INVALID_PARAMETER;
    // any other failure is the real answer.
    if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  }
  return LoadByFullPath(fileName);
}

SystemLibrary::ExportAddress ToExportAddress(FARPROC address) {
  return reinterpret_cast<SystemLibrary::ExportAddress>(address);
}

}  // namespace

SystemLibrary::SystemLibrary(const wchar_t* fileName, LoadRoute route) {
  if (!IsBareFileName(fileName)) {
    loadError_ = ERROR_INVALID_PARAMETER;
    return;
  }
  const HMODULE module = LoadFromSystemFolder(fileName, route);
  if (module == nullptr) {
    const DWORD error = ::GetLastError();
    loadError_ = error != NO_ERROR ? error : static_cast<DWORD>(ERROR_MOD_NOT_FOUND);
    return;
  }
  module_ = module;
}

SystemLibrary::~SystemLibrary() {
  if (module_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(module_));
}

SystemLibrary::ExportAddress SystemLibrary::resolve(const char* exportName) const {
  if (module_ == nullptr || exportName == nullptr) return nullptr;
  return ToExportAddress(::GetProcAddress(static_cast<HMODULE>(module_), exportName));
}

SystemLibrary::ExportAddress SystemLibrary::resolve_ordinal(std::uint16_t ordinal) const {
  // Ordinal 0 does not exist, and MAKEINTRESOURCEA(0) would read as a null name.
  if (module_ == nullptr || ordinal == 0) return nullptr;
  return ToExportAddress(
      ::GetProcAddress(static_cast<HMODULE>(module_), MAKEINTRESOURCEA(ordinal)));
}

}  // namespace setup
