#include "launcher/run_sequence.h"

#include "launcher/command_tail.h"
#include "launcher/source_folder.h"
#include "runner/patch_runner.h"

namespace setup {

Status RunSetup(Platform& platform) {
  CaptureSourceFolder(platform);
  return RunPatch(platform, CommandTail(platform.GetCommandLineA()));
}

}  // namespace setup
