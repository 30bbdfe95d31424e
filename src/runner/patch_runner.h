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
  // ERROR_INVALID_COMMAND_LINE, logged, when the arguments or the patch
  // path cannot be carried: the run ends before anything changes.
  Status refusal = ERROR_SUCCESS;
  const WideChar* typed = u"";  // the arguments as given
  // The arguments as expanded (argument_expansion.h): 0, or
  // ERROR_INSUFFICIENT_BUFFER, the runner's to report; and which of their
  // units came from variables.
  Status expansion = ERROR_SUCCESS;
  WideLongText arguments;
  UnitsFromVariables fromVariables;
  PatchPackages packages;  // the Files subfolder's, listed once a run
  // The patch folder's short form + "Files\" + the chosen package's name;
  // empty when it does not fit.
  WideLongText patchPath;
};

// Expands `commandTail` as a prompt would (the interpreter is then handed
// no variable reference: installer_command_line.cpp says why), lists the
// patch packages and checks that both can be carried.
InstallerCommand PrepareInstallerCommand(Platform& platform, const RunState& run,
                                         const PatchFolder& folder, const WideChar* commandTail);

// What running the installer came to.
struct InstallerRun {
  bool started = false;
  // The installer's status, or what kept it from starting: the start's
  // error, ERROR_INSUFFICIENT_BUFFER (the line would not fit) or
  // ERROR_PATH_NOT_FOUND (no system folder); ERROR_INVALID_HANDLE when the
  // child can be neither waited for nor asked.
  Status status = ERROR_SUCCESS;
  std::uint32_t warnings = 0;  // RunWarning bits of the pre-flight lines
};

// Starts "<system folder>\cmd.exe" hidden, in the patch folder, to run the
// installer on `command`'s patch package with "REINSTALL=ALL" and its
// arguments (installer_command_line.h), and returns only once the child
// has ended (should waiting fail, its exit code is read every 50 ms).
InstallerRun RunPatch(Platform& platform, const RunState& run, const PatchFolder& folder,
                      const InstallerCommand& command);

}  // namespace setup

#endif  // SETUP_RUNNER_PATCH_RUNNER_H
