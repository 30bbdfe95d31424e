// FakeMachine: the clock, the process id and the Windows version, each as
// the test set it.
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"

namespace setup::sim {
namespace {

// What RtlGetVersion returns when given no record (STATUS_INVALID_PARAMETER).
constexpr Status kStatusInvalidParameter = 0xC000000Du;

}  // namespace

void FakeMachine::SetLocalTime(const LocalTime& time) { localTime_ = time; }

void FakeMachine::SetTickCount(std::uint32_t now, std::uint32_t stepPerCall) {
  tickCount_ = now;
  tickStep_ = stepPerCall;
}

// Unsigned arithmetic wraps at 2^32, as the real count does after 49.7 days.
void FakeMachine::AdvanceTickCount(std::uint32_t milliseconds) { tickCount_ += milliseconds; }

void FakeMachine::SetProcessId(std::uint32_t id) { processId_ = id; }

void FakeMachine::SetWindowsVersion(const WindowsVersion& version) { windowsVersion_ = version; }

LocalTime FakeMachine::GetLocalTime() noexcept {
  return Enter(Operation::GetLocalTime, LocalTime{}, [&] { return localTime_; });
}

std::uint32_t FakeMachine::GetTickCount() noexcept {
  return Enter(Operation::GetTickCount, std::uint32_t{0}, [&] {
    const std::uint32_t now = tickCount_;
    tickCount_ += tickStep_;
    return now;
  });
}

std::uint32_t FakeMachine::GetCurrentProcessId() noexcept {
  return Enter(Operation::GetCurrentProcessId, std::uint32_t{0}, [&] { return processId_; });
}

Status FakeMachine::RtlGetVersion(WindowsVersion* version) noexcept {
  return EnterWithStatus(Operation::RtlGetVersion, [&]() -> Status {
    if (version == nullptr) return kStatusInvalidParameter;
    *version = windowsVersion_;
    return ERROR_SUCCESS;
  });
}

}  // namespace setup::sim
