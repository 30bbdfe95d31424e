// What one run keeps for all its steps: its log and whether it may show a message box (one nobody
// dismisses hangs a deployment). A step returns the rest, so nothing leaks into the next run.
#ifndef SETUP_SHARED_RUN_STATE_H
#define SETUP_SHARED_RUN_STATE_H

#include <cstdint>

#include "platform/platform.h"
#include "shared/run_log.h"

namespace setup {

// A row of the product table, or this when no product is identified.
constexpr int kNoProduct = -1;

// The summary's warnings (keys in bit order in run_sequence.cpp); new ones only ever at the end.
enum RunWarning : std::uint32_t {
  kWarnNoPatch = 1u << 0,
  kWarnSeveralPatches = 1u << 1,
  kWarnNoKeyword = 1u << 2,
  kWarnNotPerMachine = 1u << 3,
  kWarnTransformMissing = 1u << 4,
  kWarnIniUtf8 = 1u << 5,
};

enum class UserMessages {
  HiddenBySwitch,          // an installer switch asks for no dialogs
  HiddenInSessionZero,     // the services' session, where nobody sees a box
  HiddenSessionUnknown,    // the session could not be read: it may be 0
  HiddenNoVisibleStation,  // the window station says it is not visible
  ShownIfStationVisible,
  Shown,
};

struct RunState {
  RunLog Log;
  // ShownIfStationVisible becomes Shown or HiddenNoVisibleStation only when the first box is due:
  // most runs show none, and asking the window station costs user32's start-up.
  mutable UserMessages Messages = UserMessages::ShownIfStationVisible;
};

// In session 0, or one unread, a station may call itself visible while nobody sees a box.
UserMessages DecideUserMessages(Platform& platform, const RunState& run, std::uint32_t processId,
                                bool unattendedSwitch);

// Shown with no owner when the run's Messages allow it; which button closed it makes no difference.
void ShowUserMessage(Platform& platform, const RunState& run, const WideChar* text,
                     const WideChar* caption, std::uint32_t style);

}  // namespace setup

#endif  // SETUP_SHARED_RUN_STATE_H
