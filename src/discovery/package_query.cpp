#include "discovery/package_query.h"

namespace setup {

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
