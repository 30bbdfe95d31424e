#include "discovery/language_pack_package.h"

#include "discovery/file_discovery.h"
#include "discovery/package_query.h"
#include "platform/bounded_text.h"
#include "shared/status_meanings.h"

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
    WriteLog(platform, run, LogLine() << "Installer database: none (*.msi)");
    return false;
  }

  PackageQuery query(platform, databasePath.c_str(), kLanguagePackQuery, 0);
  // The step that failed first says why: msi.dll missing, or bound wrongly.
  const Status prepared = query.status();
  query.fieldNumber = 2;
  WideChar value[kMaxPath] = {};
  std::uint32_t count = kMaxPath;
  // A value that did not come whole (or at all) is not "1".
  const Status fetched = query.FetchString(value, &count);
  value[kMaxPath - 1] = u'\0';
  const bool languagePack = fetched == ERROR_SUCCESS && EqualsOne(value);
  LogLine line;
  line << "Installer database: " << databasePath.c_str() << ", LanguagePackInstaller ";
  if (fetched == ERROR_SUCCESS) {
    line.Quoted(value);
  } else if (prepared == ERROR_SUCCESS && fetched == ERROR_NO_MORE_ITEMS) {
    line << "not set";
  } else {
    line << "not read (" << StatusText{prepared != ERROR_SUCCESS ? prepared : fetched} << ")";
  }
  line << (languagePack ? ": a language-pack installer" : ": no language-pack installer");
  WriteLog(platform, run, line);
  return languagePack;
}

}  // namespace setup
