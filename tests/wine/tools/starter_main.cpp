// starter.exe: runs the command line that follows its own name, waits for it
// and prints its full 32-bit exit status, because wine hands the Linux shell
// only the low 8 bits.
//
// wine quotes every Linux argument it passes on, so a command line with its
// own quoting cannot arrive through the starter's arguments unchanged. When
// the starter has no tail, it therefore runs the text of the environment
// variable SETUP_STARTER_COMMAND verbatim instead, and leaves that variable
// out of the child's environment.
//
// Output on stdout, one line: "exit-status <unsigned decimal>" and exit code
// 0; or "start-error <Win32 code>" (no tail: "start-error usage") and a
// nonzero exit code. The child gets the starter's current directory and
// environment, and no inherited handles.
#include <windows.h>

#include <cstdio>
#include <string>

#include "command_tail.h"
#include "environment.h"
#include "scoped_handles.h"

namespace {

constexpr int kStarted = 0;
constexpr int kNotStarted = 1;
constexpr int kUsage = 2;
constexpr int kWaitFailed = 3;

constexpr wchar_t kCommandVariable[] = L"SETUP_STARTER_COMMAND";

// The command line to run: the starter's own tail, else the variable's text.
bool ChildCommandLine(std::wstring& command_line) {
  command_line = wine_tools::SkipProgramName(GetCommandLineW());
  if (!command_line.empty()) return true;
  if (!wine_tools::ReadEnvironment(kCommandVariable, command_line) || command_line.empty()) return false;
  SetEnvironmentVariableW(kCommandVariable, nullptr);
  return true;
}

int Run() {
  std::wstring command_line;  // CreateProcessW may write into it
  if (!ChildCommandLine(command_line)) {
    std::printf("start-error usage: starter.exe <command line>, or SETUP_STARTER_COMMAND=<command line>\n");
    return kUsage;
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started)) {
    std::printf("start-error %lu\n", static_cast<unsigned long>(GetLastError()));
    return kNotStarted;
  }
  const wine_tools::ScopedHandle process(started.hProcess);
  const wine_tools::ScopedHandle thread(started.hThread);

  DWORD status = 0;
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.get(), &status)) {
    std::printf("wait-error %lu\n", static_cast<unsigned long>(GetLastError()));
    return kWaitFailed;
  }
  std::printf("exit-status %lu\n", static_cast<unsigned long>(status));
  return kStarted;
}

}  // namespace

int main() {
  const int result = Run();
  std::fflush(stdout);
  return result;
}
