// What a status means, in words an administrator understands, for the log.
#ifndef SETUP_SHARED_STATUS_MEANINGS_H
#define SETUP_SHARED_STATUS_MEANINGS_H

#include "platform/platform.h"
#include "shared/log_line.h"

namespace setup {

// The meaning of a status the installer or the launcher ends with, or of a platform error the
// launcher reports; null for one without words here (the log then shows the number alone).
const char* StatusMeaning(Status status);

// A status as the log shows it: "1603 (the installation failed)"; one without words here is
// called a Windows error code.
struct StatusText {
  Status status;
};
LogLine& operator<<(LogLine& line, StatusText text);

// The installer's exit status as the log shows it, with the installer's meaning: its 1 is no
// service of ours ("the installer ended with 1, reported as 1603"), and one without words here is
// its own status.
struct InstallerStatusText {
  Status status;
};
LogLine& operator<<(LogLine& line, InstallerStatusText text);

}  // namespace setup

#endif  // SETUP_SHARED_STATUS_MEANINGS_H
