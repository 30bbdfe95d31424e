// How the launcher's exit status is made up.
#ifndef SETUP_LAUNCHER_EXIT_STATUS_H
#define SETUP_LAUNCHER_EXIT_STATUS_H

#include "platform/platform.h"

namespace setup {

// A product service was not stopped; nothing was changed or started. The
// installer's own 1 (it was ended by force, for one) is reported as 1603,
// so that this one keeps its meaning.
constexpr Status kExitServiceRunning = 1;

// The installer's status as the launcher reports it.
constexpr Status ReportedInstallerStatus(Status installerStatus) {
  return installerStatus == kExitServiceRunning ? ERROR_INSTALL_FAILURE : installerStatus;
}

// After a run that reached the installer: the restore step's status when
// it failed on a registration the run had in play (the product's
// registration may not be as it was), else the installer's own, so that a
// failed patch never ends as success and a run that changed nothing never
// hides the installer's verdict.
constexpr Status ExitStatusOf(Status restoreStatus, Status installerStatus,
                              bool registrationInPlay) {
  return registrationInPlay && restoreStatus != ERROR_SUCCESS
             ? restoreStatus
             : ReportedInstallerStatus(installerStatus);
}

}  // namespace setup

#endif  // SETUP_LAUNCHER_EXIT_STATUS_H
