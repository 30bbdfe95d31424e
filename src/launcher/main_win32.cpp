// Setup.exe's entry point: seeds the stack guard, locks the DLL search path,
// builds the real platform and runs the launcher.
#include "launcher/run_sequence.h"
#include "platform/win32/dll_search_path.h"
#include "platform/win32/stack_guard.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

namespace {

// The whole run, in a frame entered after the guard is seeded, so that its
// locals (the platform among them) are protected like every other frame.
SETUP_OWN_PROTECTED_FRAME int RunLauncher() {
  // Before anything loads a DLL: the platform binds advapi32 at construction
  // (and user32, msi.dll later, on first use).
  setup::LockDllSearchPath();
  setup::Win32Platform platform;
  return static_cast<int>(setup::RunSetup(platform));
}

}  // namespace

// Unprotected: its frame exists before the guard has its value.
SETUP_NO_STACK_PROTECTOR int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  setup::SeedStackGuard();
  return RunLauncher();
}
