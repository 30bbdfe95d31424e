#include "discovery/language_pack_package.h"

#include "discovery/file_discovery.h"
#include "discovery/package_query.h"
#include "platform/bounded_text.h"

namespace setup {

namespace {

bool EqualsOne(const char* value) { return value[0] == '1' && value[1] == '\0'; }

}  // namespace

bool IsLanguagePackPackage(Platform& platform, const RunState& run) {
  NarrowPath databasePath = run.NarrowSourceFolder;
  NarrowPath databaseName;
  if (databasePath.empty() ||
      !FindFirstMatch(platform, databasePath.c_str(), kInstallerDatabasePattern, databaseName) ||
      !databasePath.append('\\') || !databasePath.append(databaseName)) {
    return false;
  }

  PackageQuery query(platform, databasePath.c_str(), kLanguagePackQuery, 0);
  query.fieldNumber = 2;
  char value[kMaxPath] = {};
  std::uint32_t count = kMaxPath;
  // A value that did not come whole (or at all) is not "1".
  if (query.FetchString(value, &count) != ERROR_SUCCESS) return false;
  value[kMaxPath - 1] = '\0';
  return EqualsOne(value);
}

}  // namespace setup
