#ifndef SETUP_LAUNCHER_SOURCE_FOLDER_H
#define SETUP_LAUNCHER_SOURCE_FOLDER_H

#include "platform/platform.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

// The current directory, logged: one backslash is added unless it already ends in one (a drive
// root); the short form is taken when the platform has one, else the long path as it is. Empty
// when the directory cannot be had or does not fit.
PatchFolder CapturePatchFolder(Platform& platform, const RunState& run);

}  // namespace setup

#endif  // SETUP_LAUNCHER_SOURCE_FOLDER_H
