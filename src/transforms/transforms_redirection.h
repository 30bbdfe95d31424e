// Points the product's registered Transforms at the patch folder's
// language transform while the patch runs, and puts it back afterwards.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
#define SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Identifies the product, backs up its Transforms (see BackupTransforms)
// and sets Transforms to
// run.SourceFolderPath + "\Files\" + the transform of the product's
// language ("1033.mst" when it is not known), in UTF-16. An empty SourceFolderPath
// is reported with the message box "Fatal Error, no source directory.".
// The run refuses a patch folder whose path holds ';' (the installer's
// list separator) before this step. Nothing is changed then, nor without
// a product, without the backup in
// place, when the new value would not fit 260 units, or when Transforms no
// longer reads as the value just backed up. Sets run.CurrentRedirection.
void RedirectTransforms(Platform& platform, RunState& run);

// Puts the product's own Transforms back from the journal, for the product
// the redirection backed up (identified afresh when it backed up none): a
// non-empty journal is written to Transforms; an empty one means the
// product had none, so Transforms is deleted, or, where the journal records
// the redirection, deleted only while it is that redirection; the journal
// is then deleted, but only once that succeeded. A journal this run wrote
// while it left Transforms alone is just deleted. Without a journal,
// Transforms is deleted only when it is the value this run wrote.
// Its status is 0 without a product, or when a registration that this run
// did not change and that holds no journal cannot be opened for changing; else
// the first failure among opening the product key for changing, reading
// the journal (other than its absence or a type no journal has), writing
// back and deleting the journal; ERROR_FILE_NOT_FOUND when the journal this
// run relied on has gone; else the status of closing the key.
// What the restore did: its status, and whether that counts for the run's
// exit status (the registration was in play: the run changed it, or found
// an earlier run's journal in it).
struct RestoreOutcome {
  Status status = ERROR_SUCCESS;
  bool counts = false;
};
RestoreOutcome RestoreTransforms(Platform& platform, RunState& run);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
