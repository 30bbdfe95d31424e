// The values under a product's registration that the launcher reads and writes.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_VALUES_H
#define SETUP_TRANSFORMS_TRANSFORMS_VALUES_H

#include "platform/platform.h"

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

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_VALUES_H
