// careless_loader.exe: does what Setup.exe must not, so that a test can show
// that a planted DLL is really taken under its conditions. It imports user32
// statically (whose own imports the loader resolves before this program's
// entry point, through the default search path that starts at the program's
// folder), then loads each DLL named on its command line with a plain
// LoadLibraryA, which searches the program's folder and the current folder.
//
//   careless_loader.exe [dll name ...]
//
// Prints one line per name, "loaded <name> <path>" or "failed <name> <error>",
// and exits with 0 when every name loaded, else 1.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command_tail.h"

namespace {

std::string ModuleFileName(HMODULE module) {
  char path[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameA(module, path, static_cast<DWORD>(sizeof path));
  return length == 0 || length >= sizeof path ? std::string("?") : std::string(path, length);
}

}  // namespace

int main() {
  // A real use of user32, so that the import stays in the program.
  std::printf("user32 says the desktop window is %s\n",
              GetDesktopWindow() != nullptr ? "there" : "absent");
  int status = 0;
  for (const std::wstring& wideName :
       wine_tools::SplitWords(wine_tools::SkipProgramName(GetCommandLineW()))) {
    const std::string name(wideName.begin(), wideName.end());  // DLL names here are ASCII
    const HMODULE module = LoadLibraryA(name.c_str());
    if (module == nullptr) {
      std::printf("failed %s %lu\n", name.c_str(), static_cast<unsigned long>(GetLastError()));
      status = 1;
      continue;
    }
    std::printf("loaded %s %s\n", name.c_str(), ModuleFileName(module).c_str());
    FreeLibrary(module);
  }
  std::fflush(stdout);
  return status;
}
