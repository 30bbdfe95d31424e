#include "launcher/run_sequence.h"

#include "detection/product_table.h"
#include "launcher/command_tail.h"
#include "launcher/exit_status.h"
#include "launcher/source_folder.h"
#include "runner/patch_runner.h"
#include "services/service_guard.h"
#include "transforms/transforms_redirection.h"

namespace setup {

Status RunSetup(Platform& platform) {
  CurrentProduct = kNoProduct;
  CaptureSourceFolder(platform);
  if (CheckBlockingServices(platform) == 1) return kExitServiceRunning;
  // A redirection that could not be made still lets the patch run.
  RedirectTransforms(platform);
  const Status installerStatus = RunPatch(platform, CommandTail(platform.GetCommandLineA()));
  const Status restoreStatus = RestoreTransforms(platform);
  return ExitStatusOf(restoreStatus, installerStatus);
}

}  // namespace setup
