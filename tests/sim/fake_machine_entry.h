// How every platform entry of FakeMachine starts: count the call, apply a
// planned failure, keep exceptions from reaching the launcher. Included by
// the FakeMachine sources only.
#ifndef SETUP_TESTS_SIM_FAKE_MACHINE_ENTRY_H
#define SETUP_TESTS_SIM_FAKE_MACHINE_ENTRY_H

#include <exception>
#include <type_traits>

#include "sim/fake_machine.h"

namespace setup::sim {

// What an entry returning a Status reports when the machine itself fails.
constexpr Status kErrorNotEnoughMemory = 8;

template <typename Result, typename Body>
Result FakeMachine::Enter(Operation operation, Result failure, Body&& body) noexcept {
  try {
    Status planned = ERROR_SUCCESS;
    if (faults_.CountCall(operation, &planned)) return failure;
    return body();
  } catch (const std::exception& error) {
    NoteInternalError(operation, error.what());
  } catch (...) {
    NoteInternalError(operation, "unknown exception");
  }
  return failure;
}

template <typename Body>
Status FakeMachine::EnterWithStatus(Operation operation, Body&& body) noexcept {
  try {
    Status planned = ERROR_SUCCESS;
    if (faults_.CountCall(operation, &planned)) return planned;
    return body();
  } catch (const std::exception& error) {
    NoteInternalError(operation, error.what());
  } catch (...) {
    NoteInternalError(operation, "unknown exception");
  }
  return kErrorNotEnoughMemory;
}

template <typename Result, typename Body>
Result FakeMachine::EnterWithLastError(Operation operation, Result failure, Status* lastError,
                                       Body&& body) noexcept {
  Status error = kErrorNotEnoughMemory;
  Result result = failure;
  try {
    Status planned = ERROR_SUCCESS;
    if (faults_.CountCall(operation, &planned)) {
      error = planned;
    } else {
      error = ERROR_SUCCESS;
      result = body(&error);
    }
  } catch (const std::exception& caught) {
    NoteInternalError(operation, caught.what());
    result = failure;
    error = kErrorNotEnoughMemory;
  } catch (...) {
    NoteInternalError(operation, "unknown exception");
    result = failure;
    error = kErrorNotEnoughMemory;
  }
  if (lastError != nullptr) *lastError = error;
  return result;
}

template <typename Result, typename Release>
Result FakeMachine::EnterClose(Operation operation, Result failure, Release&& release) noexcept {
  try {
    Status planned = ERROR_SUCCESS;
    const bool fails = faults_.CountCall(operation, &planned);
    // A killed process closes nothing: its handles go when it is ended.
    if (fails && faults_.LastCallCutOff()) {
      if constexpr (std::is_same_v<Result, Status>) {
        return planned;
      } else {
        return failure;
      }
    }
    const Result result = release();
    if (!fails) return result;
    if constexpr (std::is_same_v<Result, Status>) {
      return planned;
    } else {
      return failure;
    }
  } catch (const std::exception& error) {
    NoteInternalError(operation, error.what());
  } catch (...) {
    NoteInternalError(operation, "unknown exception");
  }
  return failure;
}

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_FAKE_MACHINE_ENTRY_H
