// What the administrator is told, before the installer starts, about the
// patch packages in the Files subfolder.
#ifndef SETUP_RUNNER_PATCH_PACKAGE_PREFLIGHT_H
#define SETUP_RUNNER_PATCH_PACKAGE_PREFLIGHT_H

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Logs a pre-flight line, and notes its warning in `run`, when Files holds
// no patch package (where the launcher looked, and the folder Setup.exe is
// in, to start it there) or more than one (the one taken, the first by
// name, and those ignored). Nothing for the usual single package.
void LogPatchPackagePreflight(Platform& platform, RunState& run);

}  // namespace setup

#endif  // SETUP_RUNNER_PATCH_PACKAGE_PREFLIGHT_H
