#include "launcher/run_sequence.h"

#include "launcher/command_tail.h"
#include "launcher/exit_status.h"
#include "launcher/single_instance.h"
#include "launcher/source_folder.h"
#include "launcher/unattended_switches.h"
#include "runner/patch_runner.h"
#include "services/service_guard.h"
#include "transforms/transforms_redirection.h"

namespace setup {

Status RunSetup(Platform& platform, RunState& run) {
  run = RunState{};
  const SingleInstance instance(platform);
  if (instance.another_is_running()) return ERROR_INSTALL_ALREADY_RUNNING;

  const WideChar* const commandTail = CommandTail(platform.GetCommandLineW());
  if (RequestsUnattendedRun(commandTail)) run.Messages = UserMessages::Hidden;

  CaptureSourceFolder(platform, run);
  if (CheckBlockingServices(platform, run) == 1) return kExitServiceRunning;
  // A redirection that could not be made still lets the patch run.
  RedirectTransforms(platform, run);
  const Status installerStatus = RunPatch(platform, run, commandTail);
  const Status restoreStatus = RestoreTransforms(platform, run);
  return ExitStatusOf(restoreStatus, installerStatus);
}

Status RunSetup(Platform& platform) {
  RunState run;
  return RunSetup(platform, run);
}

}  // namespace setup
