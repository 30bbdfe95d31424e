// Where the patch folder keeps its files, and how one is found.
#ifndef SETUP_DISCOVERY_FILE_DISCOVERY_H
#define SETUP_DISCOVERY_FILE_DISCOVERY_H

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Search patterns; each starts with a backslash and is joined to a folder
// as it is.
inline constexpr WideChar kPatchPackagePattern[] = u"\\*.msp";
inline constexpr WideChar kInstallerDatabasePattern[] = u"\\*.msi";

// Puts the name (no folder) of the first file the platform's search
// reports for `folder` + `pattern` into `name` and returns true. Returns
// false and leaves `name` untouched when nothing matches or the joined
// search path would not fit. The search handle is closed before returning.
bool FindFirstMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                    WidePath& name);

// run.SourceFolderPath followed by "\Files\"; empty when it is missing
// or the join does not fit.
WidePath FilesFolderPath(const RunState& run);

// The name of the first patch package in the Files subfolder; empty when
// there is none.
WidePath FindPatchPackageName(Platform& platform, const RunState& run);

}  // namespace setup

#endif  // SETUP_DISCOVERY_FILE_DISCOVERY_H
