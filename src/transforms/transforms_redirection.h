// Points the product's registered Transforms at the patch folder's
// language transform while the patch runs, and puts it back afterwards.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
#define SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Identifies the product and, through one key, first finishes a journal an
// earlier run left (RecoverJournal), then backs up its Transforms
// (BackupTransforms) and sets it to run.SourceFolderPath + "\Files\" + the
// transform of the product's language ("1033.mst" when not known).
// Nothing changes without a product, a backup in place, a value that fits,
// or while Transforms no longer reads as the value just backed up. An
// empty SourceFolderPath shows "Fatal Error, no source directory.".
// Returns 0, or the status that kept an earlier run's journal from being
// finished: the run then ends with it, the installer not started.
Status RedirectTransforms(Platform& platform, RunState& run);

// Finishes the journal this run wrote, if any: the product's own
// Transforms goes back and the journal is deleted. Transforms is deleted
// only where this run's journal or write proves the launcher wrote it.
// ERROR_FILE_NOT_FOUND when the journal this run relied on has gone.
Status RestoreTransforms(Platform& platform, RunState& run);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
