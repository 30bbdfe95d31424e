// FakeMachine: named mutexes, the session and the window station.
#include <algorithm>

#include "platform/bounded_text.h"
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"

namespace setup::sim {
namespace {

constexpr Status kErrorInvalidParameter = 87;

}  // namespace

void FakeMachine::HoldMutexElsewhere(const std::u16string& name) { mutexesElsewhere_.insert(name); }

void FakeMachine::ReleaseMutexElsewhere(const std::u16string& name) {
  mutexesElsewhere_.erase(name);
  mutexesRefusingUs_.erase(name);
}

void FakeMachine::HoldRefusingMutexElsewhere(const std::u16string& name) {
  mutexesElsewhere_.insert(name);
  mutexesRefusingUs_.insert(name);
}

void FakeMachine::RefuseMutexNamespace(const std::u16string& prefix, Status error) {
  refusedMutexPrefixes_.emplace_back(prefix, error);
}

std::vector<std::u16string> FakeMachine::HeldMutexes() const {
  std::vector<std::u16string> names;
  for (const auto& held : mutexHandles_) names.push_back(held.second);
  return names;
}

void FakeMachine::SetWindowStationVisible(bool visible) { windowStationVisible_ = visible; }

void FakeMachine::SetSessionId(std::uint32_t session) { sessionId_ = session; }

KernelHandle FakeMachine::CreateMutexExW(const WideChar* name, Status* lastError) noexcept {
  Status error = ERROR_SUCCESS;
  const KernelHandle handle = Enter(Operation::CreateMutexExW, NO_KERNEL_HANDLE, [&] {
    const std::u16string text = name != nullptr ? std::u16string(name, TextLength(name)) : u"";
    mutexRequests_.push_back(text);
    if (mutexesRefusingUs_.count(text) != 0) {
      error = ERROR_ACCESS_DENIED;
      return NO_KERNEL_HANDLE;
    }
    for (const auto& [prefix, refusal] : refusedMutexPrefixes_) {
      if (text.compare(0, prefix.size(), prefix) == 0) {
        error = refusal;
        return NO_KERNEL_HANDLE;
      }
    }
    const bool exists = mutexesElsewhere_.count(text) != 0 ||
                        std::any_of(mutexHandles_.begin(), mutexHandles_.end(),
                                    [&](const auto& held) { return held.second == text; });
    // Windows hands out a handle to an existing mutex too, without ownership.
    if (exists) error = ERROR_ALREADY_EXISTS;
    const KernelHandle mutex{NextHandleValue()};
    mutexHandles_[mutex] = text;
    return mutex;
  });
  if (handle == NO_KERNEL_HANDLE && error == ERROR_SUCCESS) error = ERROR_ACCESS_DENIED;
  if (lastError != nullptr) *lastError = error;
  return handle;
}

void FakeMachine::AddFreeMutex(const std::u16string& name) { freeMutexes_.insert(name); }

void FakeMachine::AbandonMutexElsewhere(const std::u16string& name) {
  freeMutexes_.insert(name);
  abandonedMutexes_.insert(name);
}

KernelHandle FakeMachine::OpenMutexW(const WideChar* name, Status* lastError) noexcept {
  return EnterWithLastError(Operation::OpenMutexW, NO_KERNEL_HANDLE, lastError, [&](Status* error) {
    const std::u16string text = name != nullptr ? std::u16string(name, TextLength(name)) : u"";
    const bool exists = mutexesElsewhere_.count(text) != 0 || freeMutexes_.count(text) != 0 ||
                        std::any_of(mutexHandles_.begin(), mutexHandles_.end(),
                                    [&](const auto& held) { return held.second == text; });
    if (!exists || mutexesRefusingUs_.count(text) != 0) {
      *error = exists ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
      return NO_KERNEL_HANDLE;
    }
    const KernelHandle mutex{NextHandleValue()};
    openedMutexes_[mutex] = OpenedMutex{text, false};
    return mutex;
  });
}

bool FakeMachine::ReleaseMutex(KernelHandle mutex) noexcept {
  return Enter(Operation::ReleaseMutex, false, [&] {
    const auto opened = openedMutexes_.find(mutex);
    if (opened == openedMutexes_.end() || !opened->second.owned) return false;
    opened->second.owned = false;
    --unreleasedOpenedMutexes_;
    return true;
  });
}

Status FakeMachine::ProcessIdToSessionId(std::uint32_t processId,
                                         std::uint32_t* sessionId) noexcept {
  return EnterWithStatus(Operation::ProcessIdToSessionId, [&]() -> Status {
    if (processId != processId_ || sessionId == nullptr) return kErrorInvalidParameter;
    *sessionId = sessionId_;
    return ERROR_SUCCESS;
  });
}

bool FakeMachine::ProcessWindowStationIsVisible() noexcept {
  return Enter(Operation::ProcessWindowStationIsVisible, true,
               [&] { return windowStationVisible_; });
}

}  // namespace setup::sim
