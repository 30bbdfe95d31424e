// How the launcher's exit status is made up.
#ifndef SETUP_LAUNCHER_EXIT_STATUS_H
#define SETUP_LAUNCHER_EXIT_STATUS_H

#include "platform/platform.h"

namespace setup {

// A product service was not stopped; nothing was changed or started.
constexpr Status kExitServiceRunning = 1;

// After a run that reached the installer: the restore step's status when
// it failed (the product's registration may not be as it was), else the
// installer's own status, so that a failed patch never ends as success.
constexpr Status ExitStatusOf(Status restoreStatus, Status installerStatus) {
  return restoreStatus != ERROR_SUCCESS ? restoreStatus : installerStatus;
}

}  // namespace setup

#endif  // SETUP_LAUNCHER_EXIT_STATUS_H
