// The patch folder the launcher was started from, captured once at start.
#ifndef SETUP_LAUNCHER_SOURCE_FOLDER_H
#define SETUP_LAUNCHER_SOURCE_FOLDER_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Fills run.SourceFolder from the current directory: one backslash is added unless the directory
// already ends in one (a drive root); the short form is taken when the platform has one, else the
// long path as it is. When the directory cannot be had or does not fit, it stays empty. Then
// fills run.SourceFolderPath from it.
void CaptureSourceFolder(Platform& platform, RunState& run);

}  // namespace setup

#endif  // SETUP_LAUNCHER_SOURCE_FOLDER_H
