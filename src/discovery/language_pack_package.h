// Whether the patch folder's database is a language-pack installer, which limits the product rows.
#ifndef SETUP_DISCOVERY_LANGUAGE_PACK_PACKAGE_H
#define SETUP_DISCOVERY_LANGUAGE_PACK_PACKAGE_H

#include <cstdint>

#include "platform/platform.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

// The view is closed before its database. Failures are status codes; nothing is shown or thrown.
class PackageQuery {
 public:
  // Opens `databasePath` (null: nothing is called, the status stays unwritten) with `persistMode`
  // (0 = read-only), then a view on `queryText`, and executes it; stops at the first failed step.
  PackageQuery(Platform& platform, const WideChar* databasePath, const WideChar* queryText,
               std::uint32_t persistMode);
  ~PackageQuery();
  PackageQuery(const PackageQuery&) = delete;
  PackageQuery& operator=(const PackageQuery&) = delete;

  // The next record's field `fieldNumber`; `count` holds the buffer's capacity in units on entry.
  // ERROR_INVALID_HANDLE without a view, else the fetch's or the read's status.
  Status FetchString(WideChar* buffer, std::uint32_t* count);

  // The status of the last installer call the object kept; meaningless before the first.
  Status status() const { return status_; }

  std::uint32_t fieldNumber = 1;  // 1-based, the field FetchString reads

 private:
  Platform& platform_;
  Status status_ = ERROR_SUCCESS;
  MsiHandle database_ = 0;
  MsiHandle view_ = 0;
};

// Run on the patch folder's first "*.msi" (never one in Files); field 2 is the property's value.
inline constexpr WideChar kLanguagePackQuery[] =
    u"SELECT * FROM `Property`  WHERE `Property`= 'LanguagePackInstaller'";

// Yes only for a value fetched whole that is exactly "1", blanks counted; no database or row: no.
bool IsLanguagePackPackage(Platform& platform, const RunState& run, const PatchFolder& folder);

}  // namespace setup

#endif  // SETUP_DISCOVERY_LANGUAGE_PACK_PACKAGE_H
