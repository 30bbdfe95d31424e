// dll_load_timer.exe: how long loading system DLLs takes in a fresh process,
// for the launcher benchmarks (bench/). Loads each DLL named on the command
// line from the system folder, in order, and prints one line:
//   <name>_us=<microseconds> ...   (or <name>_us=failed:<error>)
// A DLL's time includes whatever of its own imports an earlier one has not
// already brought in, so the order mirrors the launcher's (advapi32 first).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command_tail.h"

int main() {
  LARGE_INTEGER frequency = {};
  QueryPerformanceFrequency(&frequency);
  std::string line;
  const std::vector<std::wstring> names =
      wine_tools::SplitWords(wine_tools::SkipProgramName(GetCommandLineW()));
  for (const std::wstring& name : names) {
    LARGE_INTEGER before = {};
    LARGE_INTEGER after = {};
    QueryPerformanceCounter(&before);
    // Stays loaded: later names must not pay for what this one brought in.
    const HMODULE module = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    QueryPerformanceCounter(&after);
    char field[160];
    const std::string narrow(name.begin(), name.end());  // DLL names are ASCII
    if (module == nullptr) {
      std::snprintf(field, sizeof field, "%s_us=failed:%lu ", narrow.c_str(),
                    static_cast<unsigned long>(GetLastError()));
    } else {
      const long long micros = (after.QuadPart - before.QuadPart) * 1000000 / frequency.QuadPart;
      std::snprintf(field, sizeof field, "%s_us=%lld ", narrow.c_str(), micros);
    }
    line += field;
  }
  std::printf("%s\n", line.c_str());
  return 0;
}
