// Keeps the product's own Transforms safe before it is redirected.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
#define SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H

#include "platform/heap_text.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// What TransformsBackup holds for the identified product after the backup.
struct TransformsJournal {
  // TransformsBackup holds the product's own value, so Transforms may change.
  bool held = false;
  // This run wrote it; otherwise a run that did not finish left it.
  bool writtenNow = false;
  // The own value this run copied, "" for none; only when writtenNow.
  HeapText ownValue;
};

// Copies the identified product's Transforms to TransformsBackup, with its
// type, or an empty TransformsBackup when the product has none. An existing
// TransformsBackup is never overwritten: it holds the product's own value
// from a run that did not finish. Nothing is held without a product, when
// its key cannot be read, when Transforms exists but cannot be read, when
// an existing TransformsBackup cannot be read for another reason than its
// type, or when the write fails.
TransformsJournal BackupTransforms(Platform& platform, const RunState& run);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
