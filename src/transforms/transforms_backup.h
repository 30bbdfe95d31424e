// Keeps the product's own Transforms safe before it is redirected.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
#define SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H

#include "platform/platform.h"
#include "platform/registry.h"
#include "shared/run_state.h"

namespace setup {

// The product's registered transforms; the patch folder's while it runs.
inline constexpr WideChar kTransformsValue[] = u"Transforms";
// The journal: the product's own Transforms, empty when it had none, from
// the backup until the restore has put it back. For a product without one
// it records, after the empty text's zero, kRedirectionRecord and the value
// the run writes: readers of the text (older launchers too) see "", and
// the restore can tell that redirection from a value given since.
inline constexpr WideChar kTransformsBackupValue[] = u"TransformsBackup";
inline constexpr WideChar kRedirectionRecord[] = u"redirected:";
// Registered when the product's language is not known.
inline constexpr WideChar kDefaultTransform[] = u"1033.mst";

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
