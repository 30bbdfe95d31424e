// Setup.exe's entry point: builds the real platform and runs the launcher.
#include "launcher/run_sequence.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  setup::Win32Platform platform;
  return static_cast<int>(setup::RunSetup(platform));
}
