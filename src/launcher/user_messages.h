// The launcher's own message boxes, which an unattended run must not show:
// nobody would be there to dismiss them, and the deployment would hang.
#ifndef SETUP_LAUNCHER_USER_MESSAGES_H
#define SETUP_LAUNCHER_USER_MESSAGES_H

#include "platform/platform.h"

namespace setup {

// Decided once at start; shown unless set otherwise. Shown messages still
// need a visible window station, which is asked only when the first message
// is due: most runs show none, and the question costs user32's start-up.
void SetUserMessagesShown(bool shown);

// Shows a message box with no owner, when messages are shown in this run.
// Which button closed it makes no difference to the launcher.
void ShowUserMessage(Platform& platform, const WideChar* text, const WideChar* caption,
                     std::uint32_t style);

}  // namespace setup

#endif  // SETUP_LAUNCHER_USER_MESSAGES_H
