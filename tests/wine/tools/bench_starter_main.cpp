// bench_starter.exe: the floor the launcher benchmarks (bench/) compare
// Setup.exe with. It does only what Setup.exe must do at the least to run the
// installer: start one command line as Setup.exe starts it (hidden window,
// NORMAL_PRIORITY_CLASS, no inherited handles), wait for it and end with its
// status. Like Setup.exe it is a GUI program, so a console child gets a
// console of its own here as it does there.
//
// The command line is the text of the environment variable
// SETUP_BENCH_COMMAND, taken verbatim (wine would re-quote an argument).
//
// When SETUP_BENCH_REPORT names a file, the starter also samples the child's
// memory counters (K32GetProcessMemoryInfo) every millisecond until it ends
// and writes one line there:
//   exit_status=<n> peak_working_set=<bytes> peak_pagefile=<bytes>
//   peak_private=<bytes> samples=<n>
// each peak being the largest value sampled. Without it the starter only
// waits, so that the timed runs measure nothing but the start.
//
// Exit code: the child's status; 0xE0E0BE00 + a step number when the starter
// itself failed (1: no command, 2: start, 3: wait, 4: report).
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "scoped_handles.h"

namespace {

constexpr DWORD kNoCommand = 0xE0E0BE01u;
constexpr DWORD kNotStarted = 0xE0E0BE02u;
constexpr DWORD kWaitFailed = 0xE0E0BE03u;
constexpr DWORD kReportFailed = 0xE0E0BE04u;
constexpr DWORD kCommandCapacity = 32768;  // the longest command line Windows takes
constexpr DWORD kPathCapacity = 1024;

wchar_t command_line[kCommandCapacity];  // CreateProcessW may write into it

// Reads environment variable `name` into `buffer`; false when it is unset,
// empty or does not fit.
bool ReadVariable(const wchar_t* name, wchar_t* buffer, DWORD capacity) {
  const DWORD length = GetEnvironmentVariableW(name, buffer, capacity);
  return length > 0 && length < capacity;
}

// The largest values the child's counters reached while it was sampled.
struct MemoryPeaks {
  SIZE_T working_set = 0;
  SIZE_T pagefile = 0;
  SIZE_T private_usage = 0;
  unsigned samples = 0;

  void Sample(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof counters)) {
      return;
    }
    ++samples;
    if (counters.PeakWorkingSetSize > working_set) working_set = counters.PeakWorkingSetSize;
    if (counters.PeakPagefileUsage > pagefile) pagefile = counters.PeakPagefileUsage;
    if (counters.PrivateUsage > private_usage) private_usage = counters.PrivateUsage;
  }
};

// Waits for `process`, sampling its counters into `peaks` when asked.
bool WaitForChild(HANDLE process, MemoryPeaks* peaks) {
  if (peaks == nullptr) return WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0;
  for (;;) {
    peaks->Sample(process);
    const DWORD waited = WaitForSingleObject(process, 1);
    if (waited == WAIT_OBJECT_0) {
      peaks->Sample(process);  // counts only if the system still answers for an ended process
      return true;
    }
    if (waited != WAIT_TIMEOUT) return false;
  }
}

bool WriteReport(const wchar_t* path, DWORD status, const MemoryPeaks& peaks) {
  char line[256];
  const int length = std::snprintf(
      line, sizeof line,
      "exit_status=%lu peak_working_set=%lu peak_pagefile=%lu peak_private=%lu samples=%u\n",
      static_cast<unsigned long>(status), static_cast<unsigned long>(peaks.working_set),
      static_cast<unsigned long>(peaks.pagefile), static_cast<unsigned long>(peaks.private_usage),
      peaks.samples);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof line) return false;
  const wine_tools::ScopedHandle file(
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file.valid() &&
         WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr) != FALSE &&
         written == static_cast<DWORD>(length);
}

DWORD Run() {
  if (!ReadVariable(L"SETUP_BENCH_COMMAND", command_line, kCommandCapacity)) return kNoCommand;
  wchar_t report_path[kPathCapacity];
  const bool report = ReadVariable(L"SETUP_BENCH_REPORT", report_path, kPathCapacity);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(nullptr, command_line, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &startup, &started)) {
    return kNotStarted;
  }
  const wine_tools::ScopedHandle process(started.hProcess);
  const wine_tools::ScopedHandle thread(started.hThread);

  MemoryPeaks peaks;
  DWORD status = 0;
  if (!WaitForChild(process.get(), report ? &peaks : nullptr) ||
      !GetExitCodeProcess(process.get(), &status)) {
    return kWaitFailed;
  }
  if (report && !WriteReport(report_path, status, peaks)) return kReportFailed;
  return status;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return static_cast<int>(Run()); }
