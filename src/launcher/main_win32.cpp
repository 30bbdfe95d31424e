// Setup.exe's entry point: locks the DLL search path, builds the real
// platform and runs the launcher.
#include "launcher/run_sequence.h"
#include "platform/win32/dll_search_path.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything loads a DLL: the platform binds advapi32 at construction
  // (and user32, msi.dll later, on first use).
  setup::LockDllSearchPath();
  setup::Win32Platform platform;
  return static_cast<int>(setup::RunSetup(platform));
}
