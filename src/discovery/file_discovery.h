// Where the patch folder keeps its files, and how one is found.
#ifndef SETUP_DISCOVERY_FILE_DISCOVERY_H
#define SETUP_DISCOVERY_FILE_DISCOVERY_H

#include <cstdint>

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

// The patch packages of the Files subfolder: files whose long name ends in ".msp", in name order (A
// to Z taken as a to z), so that every machine gives the installer the same one.
struct PatchPackages {
  static constexpr std::uint32_t kNamed = 4;  // ignored packages named in the log
  WidePath chosen;                            // the first by name; "" for none
  WidePath next[kNamed];                      // the next ones by name, for the log
  std::uint32_t count = 0;                    // found, counted up to 10,000
};

// Search patterns; each starts with a backslash and is joined to a folder as it is.
inline constexpr WideChar kPatchPackagePattern[] = u"\\*.msp";
inline constexpr WideChar kInstallerDatabasePattern[] = u"\\*.msi";

// Called with each name a search finds and the caller's context; returns false to end the search.
using MatchVisitor = bool (*)(void* context, const WideChar* name);

// Hands `visit` (when given) the name of each file the search for `folder` + `pattern` reports,
// folders and names not ending in an extension pattern's extension skipped, until it returns false
// or `most` were handed; returns how many were (none when the path does not fit).
std::uint32_t ForEachMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                           std::uint32_t most, MatchVisitor visit, void* context);

// The first name ForEachMatch would hand, into `name`; false, `name` untouched, for none.
bool FindFirstMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                    WidePath& name);

// Whether the platform's search finds `path` (no wildcards) as it is.
bool FileExists(Platform& platform, const WideChar* path);

// The chosen one is logged.
PatchPackages ListPatchPackages(Platform& platform, const RunState& run, const PatchFolder& folder);

}  // namespace setup

#endif  // SETUP_DISCOVERY_FILE_DISCOVERY_H
