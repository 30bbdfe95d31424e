// What the administrator is told, before the installer starts, about the
// patch packages in the Files subfolder.
#ifndef SETUP_RUNNER_PATCH_PACKAGE_PREFLIGHT_H
#define SETUP_RUNNER_PATCH_PACKAGE_PREFLIGHT_H

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Logs a pre-flight line when `taken` (the package the installer is given)
// is empty, saying where the launcher looked and what to do, or when Files
// holds more than one package, naming the one taken and those ignored.
// Nothing for the usual single package.
void LogPatchPackagePreflight(Platform& platform, const RunState& run, const WidePath& taken);

}  // namespace setup

#endif  // SETUP_RUNNER_PATCH_PACKAGE_PREFLIGHT_H
