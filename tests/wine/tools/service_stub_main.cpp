// service_stub.exe: a minimal Windows service for the Wine tests, so that the
// launcher's service guard meets a real service manager and a real service.
//
// Register it with `sc create "<name>" binPath= "C:\...\service_stub.exe"`
// and start it with `sc start "<name>"`. Once started it reports
//   SERVICE_RUNNING        by default,
//   SERVICE_PAUSED         with --paused (half a second after running),
//   SERVICE_START_PENDING  with --start-pending (accepting no controls),
// and stays so until SERVICE_CONTROL_STOP (or its process is ended). It also
// follows SERVICE_CONTROL_PAUSE and SERVICE_CONTROL_CONTINUE. The switch may
// follow the program in the binPath or come as a start argument.
//
// Started by hand instead of by the service manager it prints an error and
// exits with 2.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "scoped_handles.h"

namespace {

enum class StateAfterStart { kRunning, kPaused, kStartPending };

constexpr int kNotAService = 2;
constexpr int kBadSwitch = 3;
// Bounds a service nobody stops; ending the prefix ends it sooner.
constexpr DWORD kLifetimeLimitMilliseconds = 30 * 60 * 1000;
constexpr DWORD kStateWaitHintMilliseconds = 3000;
constexpr DWORD kPauseDelayMilliseconds = 500;

// State shared between the service main and the control handler, which the
// service manager calls on another thread; every access holds the lock.
struct ServiceState {
  CRITICAL_SECTION lock;
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  SERVICE_STATUS status = {};
  HANDLE stopRequested = nullptr;
};

ServiceState g_service;
StateAfterStart g_stateAfterStart = StateAfterStart::kRunning;

// Reads a state switch; false for text that is not one.
bool ParseSwitch(const wchar_t* text, StateAfterStart& state) {
  if (std::wcscmp(text, L"--running") == 0) {
    state = StateAfterStart::kRunning;
  } else if (std::wcscmp(text, L"--paused") == 0) {
    state = StateAfterStart::kPaused;
  } else if (std::wcscmp(text, L"--start-pending") == 0) {
    state = StateAfterStart::kStartPending;
  } else {
    return false;
  }
  return true;
}

// Reads the switches of a whole argument list (the first entry is skipped).
bool ParseArguments(int count, wchar_t** arguments, StateAfterStart& state) {
  for (int index = 1; index < count; ++index) {
    if (!ParseSwitch(arguments[index], state)) return false;
  }
  return true;
}

DWORD ControlsAcceptedIn(DWORD state) {
  switch (state) {
    case SERVICE_RUNNING:
    case SERVICE_PAUSED:
      return SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    default:
      return 0;  // pending states take no controls
  }
}

// Tells the service manager `state`; the caller holds the lock.
void ReportLocked(DWORD state) {
  SERVICE_STATUS& status = g_service.status;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = ControlsAcceptedIn(state);
  status.dwWin32ExitCode = NO_ERROR;
  status.dwServiceSpecificExitCode = 0;
  const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                       state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
  status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
  status.dwWaitHint = pending ? kStateWaitHintMilliseconds : 0;
  SetServiceStatus(g_service.statusHandle, &status);
}

void Report(DWORD state) {
  EnterCriticalSection(&g_service.lock);
  ReportLocked(state);
  LeaveCriticalSection(&g_service.lock);
}

DWORD WINAPI HandleControl(DWORD control, DWORD, void*, void*) {
  EnterCriticalSection(&g_service.lock);
  DWORD result = NO_ERROR;
  const DWORD current = g_service.status.dwCurrentState;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if (current == SERVICE_RUNNING || current == SERVICE_PAUSED) {
        ReportLocked(SERVICE_STOP_PENDING);
        if (g_service.stopRequested != nullptr) SetEvent(g_service.stopRequested);
      }
      break;
    case SERVICE_CONTROL_PAUSE:
      if (current == SERVICE_RUNNING) ReportLocked(SERVICE_PAUSED);
      break;
    case SERVICE_CONTROL_CONTINUE:
      if (current == SERVICE_PAUSED) ReportLocked(SERVICE_RUNNING);
      break;
    case SERVICE_CONTROL_INTERROGATE:
      break;
    default:
      result = ERROR_CALL_NOT_IMPLEMENTED;
  }
  LeaveCriticalSection(&g_service.lock);
  return result;
}

void WINAPI ServiceMain(DWORD argumentCount, wchar_t** arguments) {
  StateAfterStart state = g_stateAfterStart;
  const bool switchesValid = ParseArguments(static_cast<int>(argumentCount), arguments, state);
  g_service.statusHandle =
      RegisterServiceCtrlHandlerExW(argumentCount > 0 ? arguments[0] : L"", HandleControl, nullptr);
  if (g_service.statusHandle == nullptr) return;
  const wine_tools::ScopedHandle stopRequested(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!switchesValid || !stopRequested.valid()) {
    EnterCriticalSection(&g_service.lock);
    g_service.status.dwWin32ExitCode = ERROR_INVALID_PARAMETER;
    g_service.status.dwCurrentState = SERVICE_STOPPED;
    g_service.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    SetServiceStatus(g_service.statusHandle, &g_service.status);
    LeaveCriticalSection(&g_service.lock);
    return;
  }
  EnterCriticalSection(&g_service.lock);
  g_service.stopRequested = stopRequested.get();
  LeaveCriticalSection(&g_service.lock);

  switch (state) {
    case StateAfterStart::kRunning:
      Report(SERVICE_RUNNING);
      break;
    case StateAfterStart::kPaused:
      // Wine's service manager takes the first state reported after the
      // start as its answer and ends a service whose first state is neither
      // running nor start-pending; the pause comes once it has looked.
      Report(SERVICE_RUNNING);
      if (WaitForSingleObject(stopRequested.get(), kPauseDelayMilliseconds) == WAIT_TIMEOUT) {
        EnterCriticalSection(&g_service.lock);
        if (g_service.status.dwCurrentState == SERVICE_RUNNING) ReportLocked(SERVICE_PAUSED);
        LeaveCriticalSection(&g_service.lock);
      }
      break;
    case StateAfterStart::kStartPending:
      Report(SERVICE_START_PENDING);
      break;
  }
  WaitForSingleObject(stopRequested.get(), kLifetimeLimitMilliseconds);
  // The event is closed on return; a late control must not reach it.
  EnterCriticalSection(&g_service.lock);
  ReportLocked(SERVICE_STOPPED);
  g_service.stopRequested = nullptr;
  LeaveCriticalSection(&g_service.lock);
}

}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  if (!ParseArguments(argumentCount, arguments, g_stateAfterStart)) {
    std::fprintf(stderr, "usage: service_stub.exe [--running | --paused | --start-pending]\n");
    return kBadSwitch;
  }
  InitializeCriticalSection(&g_service.lock);
  wchar_t emptyName[] = L"";
  const SERVICE_TABLE_ENTRYW table[] = {{emptyName, ServiceMain}, {nullptr, nullptr}};
  const BOOL dispatched = StartServiceCtrlDispatcherW(table);
  const DWORD error = GetLastError();
  DeleteCriticalSection(&g_service.lock);
  if (!dispatched) {
    std::fprintf(stderr, "service_stub.exe runs only as a service (error %lu)\n",
                 static_cast<unsigned long>(error));
    return kNotAService;
  }
  return 0;
}
