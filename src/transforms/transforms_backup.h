// Keeps the product's own Transforms safe before it is redirected.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
#define SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H

#include "platform/platform.h"
#include "platform/registry.h"
#include "shared/run_state.h"

namespace setup {

// What TransformsBackup holds for the identified product after the backup.
struct TransformsJournal {
  // TransformsBackup holds the product's own value, so Transforms may change.
  bool held = false;
  // This run wrote it; otherwise a run that did not finish left it.
  bool writtenNow = false;
  // The own value this run copied, byte for byte; empty for none; only
  // when writtenNow.
  StoredString ownValue;
};

// Copies the identified product's Transforms to TransformsBackup, byte for
// byte with its type, or an empty TransformsBackup when the product has
// none. An existing TransformsBackup is never overwritten: it holds the
// product's own value from a run that did not finish, or, when it is no
// string, is not the launcher's at all. Nothing is held without a product,
// when its key cannot be read, when Transforms exists but cannot be read,
// when an existing TransformsBackup cannot be read or is no string, or when
// the write fails.
TransformsJournal BackupTransforms(Platform& platform, const RunState& run);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
