// The launcher's one pass from start to exit status.
#ifndef SETUP_LAUNCHER_RUN_SEQUENCE_H
#define SETUP_LAUNCHER_RUN_SEQUENCE_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// One whole run: unless another launcher runs (ERROR_INSTALL_ALREADY_RUNNING,
// nothing touched), captures the source folder, refuses while a product
// service runs (Verdict::ServiceRunning), redirects the product's transforms,
// applies the patch with the command tail of the process's command line,
// restores the transforms, and returns the exit status for the process.
// No message box is shown in an unattended run. `run` is reset first and
// afterwards holds what the run learned and decided.
Status RunSetup(Platform& platform, RunState& run);

// The same with a state of its own.
Status RunSetup(Platform& platform);

}  // namespace setup

#endif  // SETUP_LAUNCHER_RUN_SEQUENCE_H
