// Points the product's registered Transforms at the patch folder's
// language transform while the patch runs, and puts it back afterwards.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
#define SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H

#include "platform/platform.h"

namespace setup {

// Identifies the product, backs up its Transforms and sets Transforms to
// the narrow source folder + "\Files\" + the transform of the product's
// language ("1033.mst" when it is not known). An empty narrow source folder
// is reported with the message box "Fatal Error, no source directory.".
// Nothing is changed then, nor without a product, without the backup in
// place, or when the new value would not fit 260 bytes.
void RedirectTransforms(Platform& platform);

// Identifies the product and puts its own Transforms back from the
// backup: a non-empty backup is written to Transforms, an empty one means
// Transforms is deleted; the backup is then deleted, but only once that
// succeeded. Without a backup, a Transforms naming "1033.mst" (left by an
// older run) is deleted. Returns 0 without a product; else the status of
// opening the product key for changing when that fails, the status of a
// failed write-back, or the status of closing the key.
Status RestoreTransforms(Platform& platform);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
