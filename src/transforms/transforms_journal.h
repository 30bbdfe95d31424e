// The journal (TransformsBackup): the product's own Transforms kept safe
// before it is redirected, then put back and the journal deleted. A run
// finishes the one an earlier run left before it changes anything, and its
// own at its end.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_JOURNAL_H
#define SETUP_TRANSFORMS_TRANSFORMS_JOURNAL_H

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
// the next run can tell that redirection from a value given since.
inline constexpr WideChar kTransformsBackupValue[] = u"TransformsBackup";
inline constexpr WideChar kRedirectionRecord[] = u"redirected:";
// Registered when the product's language is not known.
inline constexpr WideChar kDefaultTransform[] = u"1033.mst";

// The product's Transforms as the redirection found it, with no journal
// beside it.
struct FoundTransforms {
  bool usable = false;  // read whole, or known to be absent
  StoredString value;   // as found, byte for byte; empty when absent
  bool absent = false;
};

// Reads Transforms through `key`; not usable, logged, when it exists but
// cannot be read whole.
FoundTransforms ReadOwnTransforms(Platform& platform, const RunState& run, RegKey key);

// Copies the found Transforms to TransformsBackup, byte for byte with its
// type, or, for a product without one, writes an empty text recording
// `redirection`, the value about to be written. True once it is written.
bool BackupTransforms(Platform& platform, const RunState& run, RegKey key,
                      const FoundTransforms& found, const WideChar* redirection);

// The redirection a journal records for a product that had no Transforms
// (after its empty text's zero); null for any other journal, an older
// launcher's empty one and one recording an empty value included.
const WideChar* RecordedRedirection(const StoredString& journal);

// Whether `text` is a patch folder's redirection as a launcher writes it:
// its last two components are Files and a transform of the language
// table, letter case aside.
bool IsPatchFolderRedirection(const WideChar* text);

// Reads `valueName` whole through `key`, asked twice before it is called
// absent: a value wrongly taken for absent would be overwritten or left
// behind.
Status ReadValueAskingTwice(Platform& platform, RegKey key, const WideChar* valueName,
                            StoredString& value);

// Deletes `valueName`; an absent value is as good as a deleted one once a
// read agrees that it is absent (a value left in place while the journal
// goes would be lost).
Status DeleteValueConfirmed(Platform& platform, RegKey key, const WideChar* valueName);

// When `putBack`, writes `journal`'s value back to Transforms, byte for
// byte with its type, or deletes Transforms for a journal saying the
// product had none (empty, or a record); then deletes the journal, which
// stays for the next run when the value could not go back.
Status FinishJournal(Platform& platform, const RunState& run, RegKey key,
                     const StoredString& journal, bool putBack);

// Finishes `journal`, left by a run that did not finish, logged. Its value
// goes back where Transforms is absent, equals it, is the redirection it
// records or, beside a journal recording no redirection, a patch folder's
// redirection; any other value was given to the product since and stays.
// Returns 0, or the status that kept it from being finished.
Status RecoverJournal(Platform& platform, const RunState& run, RegKey key,
                      const StoredString& journal);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_JOURNAL_H
