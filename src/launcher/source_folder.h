#ifndef SETUP_LAUNCHER_SOURCE_FOLDER_H
#define SETUP_LAUNCHER_SOURCE_FOLDER_H

#include "platform/platform.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

// The current directory, logged.
PatchFolder CapturePatchFolder(Platform& platform, const RunState& run);

}  // namespace setup

#endif  // SETUP_LAUNCHER_SOURCE_FOLDER_H
