// Keeps the product's own Transforms safe before it is redirected.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
#define SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H

#include "platform/platform.h"

namespace setup {

// Copies the identified product's Transforms to TransformsBackup, or an
// empty TransformsBackup when the product has none. An existing
// TransformsBackup is never overwritten: it holds the product's own value
// from a run that did not finish. Returns true when TransformsBackup holds
// the product's own value afterwards, so that Transforms may be changed;
// false without a product, when its key cannot be read, when Transforms
// exists but cannot be read, or when the write fails.
bool BackupTransforms(Platform& platform);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
