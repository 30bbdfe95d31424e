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
// When SETUP_STARTER_WINDOW_STATION names a window station, the starter
// creates it (not visible, as a service's is) with a desktop "Default" and
// starts the child on that desktop; the variable is left out of the child's
// environment.
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
constexpr wchar_t kWindowStationVariable[] = L"SETUP_STARTER_WINDOW_STATION";

// The user32 functions for a hidden window station, bound at run time: a
// static import of user32 would slow every start and change what the
// starter loads in runs that only start a program.
struct WindowStationFunctions {
  decltype(&CreateWindowStationW) create_station = nullptr;
  decltype(&CloseWindowStation) close_station = nullptr;
  decltype(&GetProcessWindowStation) process_station = nullptr;
  decltype(&SetProcessWindowStation) set_process_station = nullptr;
  decltype(&CreateDesktopW) create_desktop = nullptr;
  decltype(&CloseDesktop) close_desktop = nullptr;

  // Binds them all from the system folder's user32; false when one is missing.
  bool Bind() {
    const HMODULE user32 = LoadLibraryExW(L"user32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (user32 == nullptr) return false;  // stays loaded for the starter's life
    return BindOne(user32, "CreateWindowStationW", create_station) &&
           BindOne(user32, "CloseWindowStation", close_station) &&
           BindOne(user32, "GetProcessWindowStation", process_station) &&
           BindOne(user32, "SetProcessWindowStation", set_process_station) &&
           BindOne(user32, "CreateDesktopW", create_desktop) &&
           BindOne(user32, "CloseDesktop", close_desktop);
  }

 private:
  template <typename Function>
  static bool BindOne(HMODULE module, const char* name, Function& function) {
    // Through an untyped function pointer: GetProcAddress's type says nothing of the export's.
    function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return function != nullptr;
  }
};

// A window station (not visible) with a desktop "Default", both closed on
// destruction, which comes after the child has ended.
class HiddenDesktop {
 public:
  HiddenDesktop() = default;
  ~HiddenDesktop() {
    if (desktop_ != nullptr) functions_.close_desktop(desktop_);
    if (station_ != nullptr) functions_.close_station(station_);
  }
  HiddenDesktop(const HiddenDesktop&) = delete;
  HiddenDesktop& operator=(const HiddenDesktop&) = delete;

  // Creates window station `name` and its desktop; false (last error set)
  // on failure. Call once.
  bool Create(const std::wstring& name) {
    if (!functions_.Bind()) return false;
    station_ = functions_.create_station(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
    if (station_ == nullptr) return false;
    // CreateDesktopW works in the caller's own window station: move there and back.
    const HWINSTA own = functions_.process_station();
    if (own == nullptr || !functions_.set_process_station(station_)) return false;
    desktop_ = functions_.create_desktop(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    const DWORD error = GetLastError();
    if (!functions_.set_process_station(own)) return false;
    SetLastError(error);
    desktop_name_ = name + L"\\Default";
    return desktop_ != nullptr;
  }

  // "<station>\Default", writable as STARTUPINFOW wants it.
  wchar_t* desktop_name() { return &desktop_name_[0]; }

 private:
  WindowStationFunctions functions_;
  HWINSTA station_ = nullptr;
  HDESK desktop_ = nullptr;
  std::wstring desktop_name_;
};

// The command line to run: the starter's own tail, else the variable's text.
bool ChildCommandLine(std::wstring& command_line) {
  command_line = wine_tools::SkipProgramName(GetCommandLineW());
  if (!command_line.empty()) return true;
  if (!wine_tools::ReadEnvironment(kCommandVariable, command_line) || command_line.empty())
    return false;
  SetEnvironmentVariableW(kCommandVariable, nullptr);
  return true;
}

int Run() {
  std::wstring command_line;  // CreateProcessW may write into it
  if (!ChildCommandLine(command_line)) {
    std::printf(
        "start-error usage: starter.exe <command line>, or SETUP_STARTER_COMMAND=<command line>\n");
    return kUsage;
  }

  std::wstring station_name;
  const bool hidden =
      wine_tools::ReadEnvironment(kWindowStationVariable, station_name) && !station_name.empty();
  SetEnvironmentVariableW(kWindowStationVariable, nullptr);
  HiddenDesktop desktop;
  if (hidden && !desktop.Create(station_name)) {
    std::printf("start-error %lu\n", static_cast<unsigned long>(GetLastError()));
    return kNotStarted;
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (hidden) startup.lpDesktop = desktop.desktop_name();
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    std::printf("start-error %lu\n", static_cast<unsigned long>(GetLastError()));
    return kNotStarted;
  }
  const wine_tools::ScopedHandle process(started.hProcess);
  const wine_tools::ScopedHandle thread(started.hThread);

  DWORD status = 0;
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.get(), &status)) {
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
