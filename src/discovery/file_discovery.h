// Where the patch folder keeps its files, and how one is found.
#ifndef SETUP_DISCOVERY_FILE_DISCOVERY_H
#define SETUP_DISCOVERY_FILE_DISCOVERY_H

#include <cstdint>

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// The patch folder's subfolder holding the patch package and transforms.
inline constexpr WideChar kFilesFolder[] = u"Files\\";

// Search patterns; each starts with a backslash and is joined to a folder as it is.
inline constexpr WideChar kPatchPackagePattern[] = u"\\*.msp";
inline constexpr WideChar kInstallerDatabasePattern[] = u"\\*.msi";

// Called with each name a search finds and the caller's context; returns false to end the search.
using MatchVisitor = bool (*)(void* context, const WideChar* name);

// Hands `visit` (when given) the name of each file the search for `folder` + `pattern` reports,
// folders and names not ending in an extension pattern's extension skipped, until it returns
// false or `most` were handed; returns how many were (none when the path does not fit).
std::uint32_t ForEachMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                           std::uint32_t most, MatchVisitor visit, void* context);

// The first name ForEachMatch would hand, into `name`; false, `name` untouched, for none.
bool FindFirstMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                    WidePath& name);

// Whether the platform's search finds `path` (no wildcards) as it is.
bool FileExists(Platform& platform, const WideChar* path);

// run.SourceFolderPath followed by "\Files\"; empty when it is missing or the join does not fit.
WidePath FilesFolderPath(const RunState& run);

// The patch packages in the Files subfolder (see PatchPackages), listed, and the chosen one
// logged, on the first call of a run; later calls give *run.Packages as it is.
const PatchPackages& ListPatchPackages(Platform& platform, RunState& run);

// The chosen patch package's name; empty when there is none.
inline const WidePath& PatchPackageName(Platform& platform, RunState& run) {
  return ListPatchPackages(platform, run).chosen;
}

}  // namespace setup

#endif  // SETUP_DISCOVERY_FILE_DISCOVERY_H
