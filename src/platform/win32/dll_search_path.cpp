#include "platform/win32/dll_search_path.h"

#include <windows.h>

namespace setup {

void LockDllSearchPath() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  // Through an untyped function pointer: GetProcAddress's own type says
  // nothing of the export's.
  const auto address = reinterpret_cast<void (*)()>(
      kernel32 != nullptr ? ::GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr);
  if (address != nullptr) {
    // Systems too old to have it fall back on the full system paths that
    // the platform layer loads by; nothing to do on failure either.
    static_cast<void>(
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(address)(LOAD_LIBRARY_SEARCH_SYSTEM32));
  }
  static_cast<void>(::SetDllDirectoryW(L""));
}

}  // namespace setup
