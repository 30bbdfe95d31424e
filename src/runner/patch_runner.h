// Applies the patch: the installer, run hidden behind the command interpreter.
#ifndef SETUP_RUNNER_PATCH_RUNNER_H
#define SETUP_RUNNER_PATCH_RUNNER_H

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Starts "<system folder>\cmd.exe" hidden, in run.SourceFolder, to run the
// installer on the chosen patch package with "REINSTALL=ALL" and the
// expanded `commandTail` (installer_command_line.h), and returns only once
// the child has ended (should waiting fail, its exit code is read every
// 50 ms). Returns the installer's status, the start's error, or, with
// nothing started, ERROR_INSUFFICIENT_BUFFER (the line would not fit),
// ERROR_INVALID_COMMAND_LINE or ERROR_PATH_NOT_FOUND (no system folder);
// ERROR_INVALID_HANDLE when the child can be neither waited for nor asked.
Status RunPatch(Platform& platform, RunState& run, const WideChar* commandTail);

// Before anything changes: expands `commandTail` into run.Arguments, and
// returns ERROR_INVALID_COMMAND_LINE, logged, when it holds a line break or
// the patch path cannot be carried (PatchPathCanBeCarried); else 0.
Status CheckArgumentsCanBeCarried(Platform& platform, RunState& run, const WideChar* commandTail);

}  // namespace setup

#endif  // SETUP_RUNNER_PATCH_RUNNER_H
