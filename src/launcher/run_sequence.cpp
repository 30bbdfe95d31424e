#include "launcher/run_sequence.h"

#include "detection/product_table.h"
#include "launcher/command_tail.h"
#include "launcher/exit_status.h"
#include "launcher/single_instance.h"
#include "launcher/source_folder.h"
#include "launcher/unattended_switches.h"
#include "launcher/user_messages.h"
#include "runner/patch_runner.h"
#include "services/service_guard.h"
#include "transforms/transforms_redirection.h"

namespace setup {

Status RunSetup(Platform& platform) {
  const SingleInstance instance(platform);
  if (instance.another_is_running()) return ERROR_INSTALL_ALREADY_RUNNING;

  const char* const commandTail = CommandTail(platform.GetCommandLineA());
  SetUserMessagesShown(!RequestsUnattendedRun(commandTail));

  CurrentProduct = kNoProduct;
  CurrentRedirection = Redirection{};
  CaptureSourceFolder(platform);
  if (CheckBlockingServices(platform) == 1) return kExitServiceRunning;
  // A redirection that could not be made still lets the patch run.
  RedirectTransforms(platform);
  const Status installerStatus = RunPatch(platform, commandTail);
  const Status restoreStatus = RestoreTransforms(platform);
  return ExitStatusOf(restoreStatus, installerStatus);
}

}  // namespace setup
