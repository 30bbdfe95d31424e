// Applies the patch: the installer, run hidden behind the command interpreter.
#ifndef SETUP_RUNNER_PATCH_RUNNER_H
#define SETUP_RUNNER_PATCH_RUNNER_H

#include "discovery/file_discovery.h"
#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"
#include "shared/secret_masking.h"

namespace setup {

// What the installer is to be given, prepared before anything changes.
struct InstallerCommand {
  // ERROR_INVALID_COMMAND_LINE, logged, when the arguments or the patch path cannot be carried: the
  // run ends before anything changes.
  Status refusal = ERROR_SUCCESS;
  // What will keep the installer from starting, logged, though the run goes on:
  // ERROR_INSUFFICIENT_BUFFER (the line would not fit) or ERROR_PATH_NOT_FOUND (no system folder).
  Status startStatus = ERROR_SUCCESS;
  std::uint32_t warnings = 0;  // RunWarning bits of the pre-flight lines
  PatchPackages packages;      // the Files subfolder's, listed once a run
  WidePath application;        // "<system folder>\cmd.exe"
  WideLongText line;           // as installer_command_line.h builds it
};

// Expands `commandTail` as a prompt would (the interpreter is then handed no variable reference:
// installer_command_line.cpp says why), lists the patch packages, checks that both can be carried,
// logs the packages' pre-flight and the line that runs the installer on the chosen one with
// "REINSTALL=ALL" and the arguments (installer_command_line.h).
InstallerCommand PrepareInstallerCommand(Platform& platform, const RunState& run,
                                         const PatchFolder& folder, const WideChar* commandTail);

struct InstallerRun {
  bool started = false;
  // The installer's status, or what kept it from starting: the start's error or the command's
  // startStatus; ERROR_INVALID_HANDLE when the child can be neither waited for nor asked.
  Status status = ERROR_SUCCESS;
};

// Starts `command` hidden, in the patch folder, and returns only once the child has ended (should
// waiting fail, its exit code is read every 50 ms).
InstallerRun RunPatch(Platform& platform, const RunState& run, const PatchFolder& folder,
                      const InstallerCommand& command);

}  // namespace setup

#endif  // SETUP_RUNNER_PATCH_RUNNER_H
