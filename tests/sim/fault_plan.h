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
  FindClose,
  GetSystemDirectoryW,
  GetPrivateProfileStringW,
  CreateProcessW,
  WaitForSingleObject,
  GetExitCodeProcess,
  CloseHandle,
  Sleep,
  GetTempPathW,
  CreateFileW,
  WriteFile,
  GetLocalTime,
  GetTickCount,
  GetCurrentProcessId,
  RtlGetVersion,
  CreateMutexExW,
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

  std::array<std::size_t, kOperationCount> callCounts_{};
  std::vector<PlannedFailure> planned_;
  std::size_t totalCalls_ = 0;
  std::size_t anyCallNumber_ = 0;  // 0: no plan
  Status anyCallStatus_ = ERROR_SUCCESS;
  bool anyCallFailed_ = false;
  Operation anyCallOperation_ = Operation::GetCommandLineW;
};

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_FAULT_PLAN_H
