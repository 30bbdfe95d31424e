// The launcher's own message boxes, which an unattended run must not show: nobody would be there
// to dismiss them, and the deployment would hang.
#ifndef SETUP_SHARED_USER_MESSAGES_H
#define SETUP_SHARED_USER_MESSAGES_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Shows a message box with no owner when the run's Messages allow it, asking the window station
// the first time (and keeping the answer in `run`). Which button closed it makes no difference.
void ShowUserMessage(Platform& platform, RunState& run, const WideChar* text,
                     const WideChar* caption, std::uint32_t style);

}  // namespace setup

#endif  // SETUP_SHARED_USER_MESSAGES_H
