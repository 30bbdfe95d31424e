// Applies the patch: the installer, run hidden behind the command
// interpreter, waited for to the end.
#ifndef SETUP_RUNNER_PATCH_RUNNER_H
#define SETUP_RUNNER_PATCH_RUNNER_H

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Starts "<system folder>\cmd.exe" hidden, in run.SourceFolder, to run the
// installer on the first patch package of the Files subfolder with
// "REINSTALL=ALL" and `commandTail` (escaped so that the installer gets it
// as typed at a command prompt: see installer_command_line.h), and returns
// once the child has ended, never before: should waiting on it fail, its
// exit code is read every 50 ms until it has ended.
//
// Returns the installer's status: the interpreter's exit code, which it
// takes from the installer; the start's error code when the child could not
// be started; ERROR_INSUFFICIENT_BUFFER, without starting anything, when
// the command line would not fit its 1000 units; ERROR_INVALID_COMMAND_LINE,
// likewise, when the interpreter could not carry the path or the tail; or
// ERROR_PATH_NOT_FOUND when the system folder cannot be had; or
// ERROR_INVALID_HANDLE when the child can be neither waited for nor asked.
// Notes the patch file and whether the installer started in `run`.
Status RunPatch(Platform& platform, RunState& run, const WideChar* commandTail);

// run.SourceFolder + "Files\" + the patch package's name (PatchPackageName)
// into `path`: the path the installer gets. False when it does not fit.
bool PatchPackagePath(Platform& platform, RunState& run, WideLongText& path);

// Before anything changes: ERROR_INVALID_COMMAND_LINE, with a log line
// saying why and what to do, when `commandTail` holds a line break or the
// patch path holds what cannot be handed to the installer
// (PatchPathCanBeCarried); else 0.
Status CheckArgumentsCanBeCarried(Platform& platform, RunState& run, const WideChar* commandTail);

}  // namespace setup

#endif  // SETUP_RUNNER_PATCH_RUNNER_H
