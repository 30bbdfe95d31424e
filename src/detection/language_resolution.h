// The language the product was installed in, as a language table index.
#ifndef SETUP_DETECTION_LANGUAGE_RESOLUTION_H
#define SETUP_DETECTION_LANGUAGE_RESOLUTION_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Identifies the product first when none is identified yet; without one, the system's language
// (its row when the patch folder has a usable ini file for it, else English). With one: the first
// row whose transform file name occurs in the product's registered Transforms (of any length,
// letter case ignored), or -1 when the registration, its Transforms or a known transform is
// missing.
int ResolveLanguageIndex(Platform& platform, RunState& run);

// The first row whose transform file name occurs in the product's Transforms `transforms` (letter
// case ignored), logged with where it came from; -1 when none does, or when `read`, the status of
// reading it, is not 0.
int LanguageOfTransforms(const RunState& run, const WideChar* transforms, Status read);

// True when run.SourceFolder holds "<ini name>.ini" with a non-empty DESCRIPTION in the section
// named like the file. False without a source folder or when the path would not fit.
bool HasLanguageIni(Platform& platform, const RunState& run, int row);

}  // namespace setup

#endif  // SETUP_DETECTION_LANGUAGE_RESOLUTION_H
