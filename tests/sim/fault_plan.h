// Which platform entries a test makes fail, and how often each was called.
#ifndef SETUP_TESTS_SIM_FAULT_PLAN_H
#define SETUP_TESTS_SIM_FAULT_PLAN_H

#include <array>
#include <cstddef>
#include <vector>

#include "platform/platform.h"

namespace setup::sim {

// One enumerator per entry of the platform seam, in platform.h's order.
enum class Operation {
  GetCommandLineW,
  RegOpenKeyExW,
  RegQueryValueExW,
  RegSetValueExW,
  RegDeleteValueW,
  RegCloseKey,
  OpenSCManagerA,
  OpenServiceA,
  QueryServiceStatus,
  CloseServiceHandle,
  GetCurrentDirectoryW,
  GetShortPathNameW,
  FindFirstFileW,
  FindNextFileW,
  FindClose,
  GetSystemDirectoryW,
  GetPrivateProfileStringW,
  CreateProcessW,
  WaitForSingleObject,
  GetExitCodeProcess,
  CloseHandle,
  Sleep,
  GetTempPathW,
  GetTempPath2W,
  GetSystemWindowsDirectoryW,
  GetEnvironmentVariableW,
  GetModuleFileNameW,
  CreateFileW,
  ReadFile,
  WriteFile,
  FlushFileBuffers,
  GetLocalTime,
  GetTickCount,
  GetCurrentProcessId,
  RtlGetVersion,
  CreateMutexExW,
  OpenMutexW,
  ReleaseMutex,
  ProcessIdToSessionId,
  ProcessWindowStationIsVisible,
  MessageBoxW,
  GetSystemDefaultLangID,
  MsiViewExecute,
  MsiViewFetch,
  MsiOpenDatabaseW,
  MsiDatabaseOpenViewW,
  MsiRecordGetStringW,
  MsiCloseHandle,
};

// How many entries Operation lists.
constexpr std::size_t kOperationCount = static_cast<std::size_t>(Operation::MsiCloseHandle) + 1;

// The entry's platform name, for messages.
const char* OperationName(Operation operation);

// Where a kill cuts a run: just before a call takes effect, or just after.
enum class Cut { BeforeCall, AfterCall };

// Planned failures and call counts, one counter per operation.
class FaultPlan {
 public:
  // Plans the `occurrence`-th call of `operation` from now (1 = the next
  // one) to fail with `status`. Several plans may stand at once.
  void FailCall(Operation operation, Status status, int occurrence);

  // Counts one call of `operation`. True when this call is planned to fail;
  // `*status` then holds the status planned.
  bool CountCall(Operation operation, Status* status);

  // Plans the `occurrence`-th platform call from now (1 = the next one),
  // whatever its entry, to fail with `status`.
  void FailAnyCall(Status status, std::size_t occurrence);

  // Kills the process at the `occurrence`-th platform call from now (1 =
  // the next one): from that call (Cut::BeforeCall) or the one after it
  // (Cut::AfterCall) on, every call fails without effect, as nothing a
  // killed process would still do reaches the machine.
  void CrashAt(std::size_t occurrence, Cut cut);

  // Whether the planned kill has happened: calls now fail.
  bool Dead() const { return dead_; }

  // Whether the call counted last failed because the process was dead.
  bool LastCallCutOff() const { return lastCallCutOff_; }

  // The entry of the call the kill was planned at (the one it came before
  // or after); none until that call was made.
  const Operation* CrashCall() const { return dead_ ? &crashOperation_ : nullptr; }

  // Forgets the kill, planned or done: a new process makes calls again.
  void ClearCrash();

  // Calls of `operation` so far, failed ones included.
  std::size_t CallCount(Operation operation) const;

  // Calls of every entry so far, failed ones included.
  std::size_t TotalCallCount() const { return totalCalls_; }

  // The entry whose call the last FailAnyCall plan made fail; none before.
  const Operation* FailedAnyCall() const { return anyCallFailed_ ? &anyCallOperation_ : nullptr; }

 private:
  struct PlannedFailure {
    Operation operation;
    std::size_t callNumber;  // 1-based, over the whole life of the plan
    Status status;
  };

  // The planned failures' part of CountCall, for a call already counted.
  bool CountPlannedFailure(Operation operation, std::size_t callNumber, Status* status);

  std::array<std::size_t, kOperationCount> callCounts_{};
  std::vector<PlannedFailure> planned_;
  std::size_t totalCalls_ = 0;
  std::size_t anyCallNumber_ = 0;  // 0: no plan
  Status anyCallStatus_ = ERROR_SUCCESS;
  bool anyCallFailed_ = false;
  Operation anyCallOperation_ = Operation::GetCommandLineW;
  std::size_t crashCallNumber_ = 0;  // 0: no kill planned
  Cut crashCut_ = Cut::BeforeCall;
  bool dead_ = false;
  bool lastCallCutOff_ = false;
  Operation crashOperation_ = Operation::GetCommandLineW;
};

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_FAULT_PLAN_H
