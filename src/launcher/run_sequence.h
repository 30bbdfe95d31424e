// The launcher's one pass from start to exit status.
#ifndef SETUP_LAUNCHER_RUN_SEQUENCE_H
#define SETUP_LAUNCHER_RUN_SEQUENCE_H

#include "platform/platform.h"

namespace setup {

// Captures the source folder, applies the patch with the command tail of
// the process's command line, and returns the exit status for the process.
Status RunSetup(Platform& platform);

}  // namespace setup

#endif  // SETUP_LAUNCHER_RUN_SEQUENCE_H
