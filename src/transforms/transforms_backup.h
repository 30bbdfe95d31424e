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

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_BACKUP_H
