// Points the product's registered Transforms at the patch folder's
// language transform while the patch runs, and puts it back afterwards.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
#define SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Identifies the product and, unless run.SourceFolderPath holds a ';' (the
// installer's list separator: then nothing is backed up or changed), backs
// up its Transforms and sets Transforms to
// run.SourceFolderPath + "\Files\" + the transform of the product's
// language ("1033.mst" when it is not known), in UTF-16. An empty SourceFolderPath
// is reported with the message box "Fatal Error, no source directory.".
// Nothing is changed then, nor without a product, without the backup in
// place, when the new value would not fit 260 units, or when Transforms no
// longer reads as the value just backed up. Sets run.CurrentRedirection.
void RedirectTransforms(Platform& platform, RunState& run);

// Puts the product's own Transforms back from the backup, for the product
// the redirection backed up (identified afresh when it backed up none): a
// non-empty backup is written to Transforms, an empty one means Transforms
// is deleted, and the backup is then deleted, but only once that succeeded.
// A backup this run wrote while it left Transforms alone is just deleted.
// Without a backup, a Transforms that is a patch folder's
// "\Files\1033.mst" (left by this run or an older one) is deleted.
// Returns 0 without a product; else the first failure among opening the
// product key for changing, reading the backup (other than its absence or
// a type no backup has),
// writing back and deleting the backup; ERROR_FILE_NOT_FOUND when the
// backup this run relied on has gone; else the status of closing the key.
Status RestoreTransforms(Platform& platform, RunState& run);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
