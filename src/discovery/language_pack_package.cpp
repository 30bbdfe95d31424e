#include "discovery/language_pack_package.h"

#include "discovery/file_discovery.h"
#include "discovery/package_query.h"
#include "platform/bounded_text.h"

namespace setup {

namespace {

bool EqualsOne(const WideChar* value) { return value[0] == u'1' && value[1] == u'\0'; }

}  // namespace

bool IsLanguagePackPackage(Platform& platform, const RunState& run) {
  WidePath databasePath = run.SourceFolderPath;
  WidePath databaseName;
  if (databasePath.empty() ||
      !FindFirstMatch(platform, databasePath.c_str(), kInstallerDatabasePattern, databaseName) ||
      !databasePath.append(u'\\') || !databasePath.append(databaseName)) {
    return false;
  }

  PackageQuery query(platform, databasePath.c_str(), kLanguagePackQuery, 0);
  query.fieldNumber = 2;
  WideChar value[kMaxPath] = {};
  std::uint32_t count = kMaxPath;
  // A value that did not come whole (or at all) is not "1".
  if (query.FetchString(value, &count) != ERROR_SUCCESS) return false;
  value[kMaxPath - 1] = u'\0';
  return EqualsOne(value);
}

}  // namespace setup
