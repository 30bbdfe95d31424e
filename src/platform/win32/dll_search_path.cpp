#include "platform/win32/dll_search_path.h"

#include <windows.h>

namespace setup {
namespace {

// kernel32's SetDefaultDllDirectories, or null. Through an untyped function
// pointer: GetProcAddress's own type says nothing of the export's.
using AnyFunction = void (*)();
AnyFunction SetDefaultDllDirectoriesExport() {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  return reinterpret_cast<AnyFunction>(
      kernel32 != nullptr ? ::GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr);
}

}  // namespace

void LockDllSearchPath() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const AnyFunction address = SetDefaultDllDirectoriesExport();
  if (address != nullptr) {
    // Systems too old to have it fall back on the full system paths that
    // the platform layer loads by; nothing to do on failure either.
    static_cast<void>(
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(address)(LOAD_LIBRARY_SEARCH_SYSTEM32));
  }
  static_cast<void>(::SetDllDirectoryW(L""));
}

bool SystemHasDllSearchFlags() { return SetDefaultDllDirectoriesExport() != nullptr; }

}  // namespace setup
