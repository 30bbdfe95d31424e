// Points the product's registered Transforms at the patch folder's
// language transform while the patch runs, and puts it back afterwards.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
#define SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Identifies the product, backs up its Transforms (BackupTransforms) and
// sets it to run.SourceFolderPath + "\Files\" + the transform of the
// product's language ("1033.mst" when not known), through one key. Nothing
// changes without a product, a backup in place, a value that fits, or
// while Transforms no longer reads as the value just backed up. An empty
// SourceFolderPath shows "Fatal Error, no source directory.".
void RedirectTransforms(Platform& platform, RunState& run);

// What the restore did: its status, and whether it counts for the exit
// status (the run changed the registration or found a journal in it).
struct RestoreOutcome {
  Status status = ERROR_SUCCESS;
  bool counts = false;
};

// Puts the product's own Transforms back from the journal and deletes the
// journal once that succeeded, for the product the redirection backed up
// (else identified again). Transforms is deleted only where a journal or
// this run proves the launcher wrote it. ERROR_FILE_NOT_FOUND when the
// journal this run relied on has gone.
RestoreOutcome RestoreTransforms(Platform& platform, RunState& run);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
