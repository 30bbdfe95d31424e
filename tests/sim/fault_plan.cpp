#include "sim/fault_plan.h"

namespace setup::sim {
namespace {

std::size_t IndexOf(Operation operation) { return static_cast<std::size_t>(operation); }

}  // namespace

const char* OperationName(Operation operation) {
  static constexpr const char* kNames[kOperationCount] = {
      "GetCommandLineW",
      "RegOpenKeyExW",
      "RegQueryValueExW",
      "RegSetValueExW",
      "RegDeleteValueW",
      "RegCloseKey",
      "OpenSCManagerA",
      "OpenServiceA",
      "QueryServiceStatus",
      "CloseServiceHandle",
      "GetCurrentDirectoryW",
      "GetShortPathNameW",
      "FindFirstFileW",
      "FindNextFileW",
      "FindClose",
      "GetSystemDirectoryW",
      "GetPrivateProfileStringW",
      "CreateProcessW",
      "WaitForSingleObject",
      "GetExitCodeProcess",
      "CloseHandle",
      "Sleep",
      "GetTempPathW",
      "GetTempPath2W",
      "GetSystemWindowsDirectoryW",
      "GetEnvironmentVariableW",
      "GetModuleFileNameW",
      "CreateFileW",
      "ReadFile",
      "WriteFile",
      "FlushFileBuffers",
      "GetLocalTime",
      "GetTickCount",
      "GetCurrentProcessId",
      "RtlGetVersion",
      "CreateMutexExW",
      "OpenMutexW",
      "ReleaseMutex",
      "ProcessIdToSessionId",
      "ProcessWindowStationIsVisible",
      "MessageBoxW",
      "GetSystemDefaultLangID",
      "MsiViewExecute",
      "MsiViewFetch",
      "MsiOpenDatabaseW",
      "MsiDatabaseOpenViewW",
      "MsiRecordGetStringW",
      "MsiCloseHandle",
  };
  return kNames[IndexOf(operation)];
}

void FaultPlan::FailCall(Operation operation, Status status, int occurrence) {
  const std::size_t ahead = occurrence < 1 ? 1 : static_cast<std::size_t>(occurrence);
  planned_.push_back({operation, callCounts_[IndexOf(operation)] + ahead, status});
}

void FaultPlan::FailAnyCall(Status status, std::size_t occurrence) {
  anyCallNumber_ = totalCalls_ + (occurrence < 1 ? 1 : occurrence);
  anyCallStatus_ = status;
  anyCallFailed_ = false;
}

void FaultPlan::CrashAt(std::size_t occurrence, Cut cut) {
  crashCallNumber_ = totalCalls_ + (occurrence < 1 ? 1 : occurrence);
  crashCut_ = cut;
  dead_ = false;
}

void FaultPlan::ClearCrash() {
  crashCallNumber_ = 0;
  dead_ = false;
  lastCallCutOff_ = false;
}

bool FaultPlan::CountCall(Operation operation, Status* status) {
  const std::size_t callNumber = ++callCounts_[IndexOf(operation)];
  ++totalCalls_;
  if (totalCalls_ == crashCallNumber_) {
    crashCallNumber_ = 0;
    dead_ = true;
    crashOperation_ = operation;
    // Cut after the call: this one still takes effect, the next is cut off.
    if (crashCut_ == Cut::AfterCall) {
      lastCallCutOff_ = false;
      return CountPlannedFailure(operation, callNumber, status);
    }
  }
  lastCallCutOff_ = dead_;
  if (dead_) {
    // What a dead process would be told does not matter: it never acts on it.
    *status = ERROR_INVALID_HANDLE;
    return true;
  }
  return CountPlannedFailure(operation, callNumber, status);
}

bool FaultPlan::CountPlannedFailure(Operation operation, std::size_t callNumber, Status* status) {
  if (totalCalls_ == anyCallNumber_) {
    anyCallNumber_ = 0;
    anyCallFailed_ = true;
    anyCallOperation_ = operation;
    *status = anyCallStatus_;
    return true;
  }
  for (auto plan = planned_.begin(); plan != planned_.end(); ++plan) {
    if (plan->operation == operation && plan->callNumber == callNumber) {
      *status = plan->status;
      planned_.erase(plan);
      return true;
    }
  }
  return false;
}

std::size_t FaultPlan::CallCount(Operation operation) const {
  return callCounts_[IndexOf(operation)];
}

}  // namespace setup::sim
