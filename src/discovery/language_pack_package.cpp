#include "discovery/language_pack_package.h"

#include "discovery/file_discovery.h"
#include "shared/log_events.h"

namespace setup {

bool IsLanguagePackPackage(Platform& platform, const RunState& run, const PatchFolder& folder) {
  WidePath databaseName;
  WidePath databasePath;
  if (folder.path.empty() ||
      !FindFirstMatch(platform, folder.path.c_str(), kInstallerDatabasePattern, databaseName) ||
      !folder.Join(databasePath, {databaseName.c_str()})) {
    Tell<LogEvent::NoDatabase>(run);
    return false;
  }

  PackageQuery query(platform, databasePath.c_str(), kLanguagePackQuery, 0);
  // The step that failed first says why: msi.dll missing, or bound wrongly.
  const Status prepared = query.status();
  query.fieldNumber = 2;
  WideChar value[kMaxPath] = {};
  std::uint32_t count = kMaxPath;
  const Status fetched = query.FetchString(value, &count);
  value[kMaxPath - 1] = u'\0';
  const bool languagePack = fetched == ERROR_SUCCESS && value[0] == u'1' && value[1] == u'\0';
  if (fetched == ERROR_SUCCESS) {
    Tell<LogEvent::DatabaseRead>(run, databasePath.c_str(), InQuotes(value),
                                 languagePack ? "a" : "no");
  } else if (prepared == ERROR_SUCCESS && fetched == ERROR_NO_MORE_ITEMS) {
    Tell<LogEvent::DatabaseNotSet>(run, databasePath.c_str());
  } else {
    Tell<LogEvent::DatabaseNotRead>(run, databasePath.c_str(),
                                    StatusText{prepared != ERROR_SUCCESS ? prepared : fetched});
  }
  return languagePack;
}

PackageQuery::PackageQuery(Platform& platform, const WideChar* databasePath,
                           const WideChar* queryText, std::uint32_t persistMode)
    : platform_(platform) {
  if (databasePath == nullptr) return;
  status_ = platform_.MsiOpenDatabaseW(databasePath, persistMode, &database_);
  if (status_ != ERROR_SUCCESS) return;
  status_ = platform_.MsiDatabaseOpenViewW(database_, queryText, &view_);
  if (status_ != ERROR_SUCCESS) return;
  status_ = platform_.MsiViewExecute(view_, 0);
}

PackageQuery::~PackageQuery() {
  // Close results are of no use here; the view goes before its database.
  if (view_ != 0) static_cast<void>(platform_.MsiCloseHandle(view_));
  if (database_ != 0) static_cast<void>(platform_.MsiCloseHandle(database_));
}

Status PackageQuery::FetchString(WideChar* buffer, std::uint32_t* count) {
  if (view_ == 0) return ERROR_INVALID_HANDLE;
  MsiHandle record = 0;
  status_ = platform_.MsiViewFetch(view_, &record);
  if (status_ != ERROR_SUCCESS) return status_;
  status_ = platform_.MsiRecordGetStringW(record, fieldNumber, buffer, count);
  static_cast<void>(platform_.MsiCloseHandle(record));
  return status_;
}

}  // namespace setup
