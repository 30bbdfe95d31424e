// Another installation in progress: the platform's installer runs one
// package at a time, and a run started beside one would change the
// product's registration under it.
#ifndef SETUP_LAUNCHER_INSTALLATION_IN_PROGRESS_H
#define SETUP_LAUNCHER_INSTALLATION_IN_PROGRESS_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// The mutex the platform's installer holds while it executes a package.
inline constexpr WideChar kInstallerExecuteMutex[] = u"Global\\_MSIExecute";

// True when kInstallerExecuteMutex is held by someone: it is opened and
// waited on for no time at all, and a wait that takes it gives it back at
// once. A mutex that does not exist, or that cannot be opened or waited on,
// is taken for none (logged), as deployment tools do. Logs what it found
// when it finds one held.
bool InstallationInProgress(Platform& platform, const RunState& run);

}  // namespace setup

#endif  // SETUP_LAUNCHER_INSTALLATION_IN_PROGRESS_H
