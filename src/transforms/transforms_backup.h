// Keeps the product's own Transforms safe before it is redirected.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
#define SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H

#include "platform/platform.h"
#include "platform/registry.h"
#include "shared/run_state.h"

namespace setup {

// The identified product's registration as the redirection found it.
struct FoundRegistration {
  bool usable = false;       // the journal's state and Transforms are known
  bool journalLeft = false;  // an unfinished run left `journal`
  StoredString journal;
  StoredString transforms;  // as found, byte for byte; empty when absent
  bool transformsAbsent = false;
};

// Reads the journal and Transforms through `key`. Not usable, logged, when
// TransformsBackup cannot be read or is no string (not the launcher's), or
// when Transforms exists but cannot be read.
FoundRegistration ReadRegistration(Platform& platform, const RunState& run, RegKey key);

// What TransformsBackup holds after the backup.
struct TransformsJournal {
  bool held = false;        // the product's own value: Transforms may change
  bool writtenNow = false;  // by this run; else by a run that did not finish
};

// Unless an earlier run's journal is kept, copies the found Transforms to
// TransformsBackup, byte for byte with its type, or, for a product without
// one, writes an empty text recording `redirection`, the value about to be
// written. An existing journal is never overwritten.
TransformsJournal BackupTransforms(Platform& platform, const RunState& run, RegKey key,
                                   const FoundRegistration& found, const WideChar* redirection);

// The redirection a journal records for a product that had no Transforms
// (after its empty text's zero); null for any other journal, an older
// launcher's empty one and one recording an empty value included.
const WideChar* RecordedRedirection(const StoredString& journal);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
