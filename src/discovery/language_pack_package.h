// Whether the patch folder's installer database is a language-pack installer, which decides the
// product rows a patch may take.
#ifndef SETUP_DISCOVERY_LANGUAGE_PACK_PACKAGE_H
#define SETUP_DISCOVERY_LANGUAGE_PACK_PACKAGE_H

#include "platform/platform.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

// The query run on the first "*.msi" of the patch folder itself (never one inside Files); its
// second field is the property's value.
inline constexpr WideChar kLanguagePackQuery[] =
    u"SELECT * FROM `Property`  WHERE `Property`= 'LanguagePackInstaller'";

// Yes only when a value was fetched whole and is exactly "1" (a digit has no letter case to
// ignore); blanks count. No database, no Property table or no such row answer no.
bool IsLanguagePackPackage(Platform& platform, const RunState& run, const PatchFolder& folder);

}  // namespace setup

#endif  // SETUP_DISCOVERY_LANGUAGE_PACK_PACKAGE_H
