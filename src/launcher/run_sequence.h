// The launcher's one pass from start to exit status.
#ifndef SETUP_LAUNCHER_RUN_SEQUENCE_H
#define SETUP_LAUNCHER_RUN_SEQUENCE_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// One whole run, from the single-instance check to the summary line; no message box in an
// unattended run. `run` is reset first and afterwards holds what the run learned.
Status RunSetup(Platform& platform, RunState& run);

Status RunSetup(Platform& platform);

}  // namespace setup

#endif  // SETUP_LAUNCHER_RUN_SEQUENCE_H
