// Keeps the product's own Transforms safe before it is redirected.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
#define SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H

#include "platform/platform.h"
#include "platform/registry.h"
#include "shared/run_state.h"

namespace setup {

// The identified product's registration as the redirection found it.
struct FoundRegistration {
  // The journal's state and Transforms are known: the redirection may go on.
  bool usable = false;
  // An earlier run that did not finish left its journal, `journal`.
  bool journalLeft = false;
  StoredString journal;
  // Transforms as found, byte for byte; empty when absent.
  StoredString transforms;
  bool transformsAbsent = false;
};

// Reads the journal and Transforms through `key`, the identified product's
// registration open for changing. Not usable, with a log line saying why,
// when TransformsBackup cannot be read or is no string (not the
// launcher's), or when Transforms exists but cannot be read.
FoundRegistration ReadRegistration(Platform& platform, const RunState& run, RegKey key);

// What TransformsBackup holds for the identified product after the backup.
struct TransformsJournal {
  // TransformsBackup holds the product's own value, so Transforms may change.
  bool held = false;
  // This run wrote it; otherwise a run that did not finish left it.
  bool writtenNow = false;
};

// Unless an earlier run's journal is kept, copies the found Transforms to
// TransformsBackup through `key`, byte for byte with its type, or, when the product has
// none, writes an empty text that records `redirection`, the value the run
// is about to write. An existing TransformsBackup is never overwritten.
// Nothing is held when `found` is not usable or the write fails.
TransformsJournal BackupTransforms(Platform& platform, const RunState& run, RegKey key,
                                   const FoundRegistration& found, const WideChar* redirection);

// The redirection a journal records for a product that had no Transforms
// (after its empty text's zero); null for any other journal, an older
// launcher's empty one and one recording an empty value included.
const WideChar* RecordedRedirection(const StoredString& journal);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
