#include "launcher/run_sequence.h"
#include "platform/win32/dll_search_path.h"
#include "platform/win32/stack_guard.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

namespace {

// Entered after the guard is seeded, so its locals (the platform among them) are protected too.
SETUP_OWN_PROTECTED_FRAME UINT RunLauncher() {
  // Before anything loads a DLL: the platform binds advapi32 at construction, others on first use.
  setup::LockDllSearchPath();
  setup::Win32Platform platform;
  return setup::RunSetup(platform);
}

}  // namespace

// x86 Windows promises the entry only a 4-byte aligned stack; GCC's code keeps 16 bytes once given
// them (for SSE spills), so the entry realigns, as the runtime's start-up code does.
#if defined(__GNUC__)
#define SETUP_ALIGNS_STACK __attribute__((force_align_arg_pointer))
#else
#define SETUP_ALIGNS_STACK
#endif

// The process starts here: the C runtime's start-up code would be a tenth of Setup.exe, and the
// launcher needs none of it (no constructors or destructors at namespace or function scope, no
// stdio, no thread-local data); msvcrt.dll sets itself up when it loads, so its heap serves all the
// same. Unprotected: its frame exists before the guard has its value. Linked as the entry (-e,
// MSVC's /ENTRY), which the linker's documentation asks to be __stdcall; it never returns.
extern "C" SETUP_NO_STACK_PROTECTOR SETUP_ALIGNS_STACK void WINAPI SetupEntry() {
  setup::SeedStackGuard();
  ::ExitProcess(RunLauncher());
}
