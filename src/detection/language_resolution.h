// The language the product was installed in, as a language table index.
#ifndef SETUP_DETECTION_LANGUAGE_RESOLUTION_H
#define SETUP_DETECTION_LANGUAGE_RESOLUTION_H

#include "platform/platform.h"
#include "detection/language_table.h"
#include "platform/registry.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

// The language a refused run speaks in, and what finding it identified.
struct ResolvedLanguage {
  int row = kNoLanguage;
  int product = kNoProduct;
  std::uint32_t warnings = 0;  // RunWarning bits of the pre-flight lines
};

// Lists the patch packages and identifies the product; without one, the system's language (its row
// when the patch folder has a usable ini file for it, else English). With one: the first row whose
// transform file name occurs in the product's registered Transforms (of any length, letter case
// ignored), or -1 when the registration, its Transforms or a known transform is missing.
ResolvedLanguage ResolveLanguage(Platform& platform, const RunState& run,
                                 const PatchFolder& folder);

// Logged; -1 when no row matches or `read`, the status of reading `value`, is not 0.
int LanguageOfTransforms(const RunState& run, const StoredString& value, Status read);

// Whether the patch folder's "<ini name>.ini" has a non-empty DESCRIPTION under [<ini name>].
bool HasLanguageIni(Platform& platform, const PatchFolder& folder, int row);

}  // namespace setup

#endif  // SETUP_DETECTION_LANGUAGE_RESOLUTION_H
