#include "sim/installer_objects.h"

#include <utility>

#include "sim/database_file_descriptors.h"
#include "sim/installer_status.h"

namespace setup::sim {
namespace {

constexpr Status kErrorNotEnoughMemory = 8;
constexpr Status kErrorInvalidData = 13;
constexpr Status kErrorOutOfMemory = 14;
constexpr Status kErrorCallNotImplemented = 120;
constexpr Status kErrorNotFound = 1168;
constexpr Status kErrorContinue = 1246;
constexpr Status kErrorUnknownProperty = 1608;
constexpr Status kErrorInvalidField = 1616;
constexpr Status kErrorInvalidTable = 1628;
constexpr Status kErrorDatatypeMismatch = 1629;

// The platform status a libmsi error stands for: libmsi's result codes are
// the installer's own, renamed.
Status StatusOf(const GError* error) {
  if (error == nullptr || error->domain != LIBMSI_RESULT_ERROR) return ERROR_FUNCTION_FAILED;
  switch (static_cast<LibmsiResultError>(error->code)) {
    case LIBMSI_RESULT_SUCCESS:
      return ERROR_FUNCTION_FAILED;  // an error said "success"
    case LIBMSI_RESULT_ACCESS_DENIED:
      return ERROR_ACCESS_DENIED;
    case LIBMSI_RESULT_INVALID_HANDLE:
      return ERROR_INVALID_HANDLE;
    case LIBMSI_RESULT_NOT_ENOUGH_MEMORY:
      return kErrorNotEnoughMemory;
    case LIBMSI_RESULT_INVALID_DATA:
      return kErrorInvalidData;
    case LIBMSI_RESULT_OUTOFMEMORY:
      return kErrorOutOfMemory;
    case LIBMSI_RESULT_INVALID_PARAMETER:
      return ERROR_INVALID_PARAMETER;
    case LIBMSI_RESULT_OPEN_FAILED:
      return ERROR_OPEN_FAILED;
    case LIBMSI_RESULT_CALL_NOT_IMPLEMENTED:
      return kErrorCallNotImplemented;
    case LIBMSI_RESULT_MORE_DATA:
      return ERROR_MORE_DATA;
    case LIBMSI_RESULT_NOT_FOUND:
      return kErrorNotFound;
    case LIBMSI_RESULT_CONTINUE:
      return kErrorContinue;
    case LIBMSI_RESULT_UNKNOWN_PROPERTY:
      return kErrorUnknownProperty;
    case LIBMSI_RESULT_BAD_QUERY_SYNTAX:
      return ERROR_BAD_QUERY_SYNTAX;
    case LIBMSI_RESULT_INVALID_FIELD:
      return kErrorInvalidField;
    case LIBMSI_RESULT_FUNCTION_FAILED:
      return ERROR_FUNCTION_FAILED;
    case LIBMSI_RESULT_INVALID_TABLE:
      return kErrorInvalidTable;
    case LIBMSI_RESULT_DATATYPE_MISMATCH:
      return kErrorDatatypeMismatch;
    case LIBMSI_RESULT_INVALID_DATATYPE:
      return ERROR_INVALID_DATATYPE;
  }
  return ERROR_FUNCTION_FAILED;
}

// Keeps libmsi's warnings about expected failures ("table not found") out
// of the test output while one call runs; critical messages still show.
class QuietLibmsiWarnings {
 public:
  QuietLibmsiWarnings()
      : handler_(g_log_set_handler(nullptr, G_LOG_LEVEL_WARNING, &Discard, nullptr)) {}
  ~QuietLibmsiWarnings() { g_log_remove_handler(nullptr, handler_); }
  QuietLibmsiWarnings(const QuietLibmsiWarnings&) = delete;
  QuietLibmsiWarnings& operator=(const QuietLibmsiWarnings&) = delete;

 private:
  static void Discard(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

  guint handler_;
};

}  // namespace

const char* InstallerObjects::KindName(Kind kind) {
  switch (kind) {
    case Kind::Database:
      return "database";
    case Kind::View:
      return "view";
    case Kind::Record:
      return "record";
  }
  return "?";
}

InstallerObjects::Object* InstallerObjects::Find(MsiHandle handle, Kind kind) {
  const auto found = objects_.find(handle);
  return found != objects_.end() && found->second.kind == kind ? &found->second : nullptr;
}

const InstallerObjects::Object* InstallerObjects::Find(MsiHandle handle, Kind kind) const {
  const auto found = objects_.find(handle);
  return found != objects_.end() && found->second.kind == kind ? &found->second : nullptr;
}

Status InstallerObjects::OpenDatabase(const std::string& hostPath, MsiHandle handle) {
  const QuietLibmsiWarnings quiet;
  GErrorSlot error;
  const DatabaseFileDescriptors descriptors(hostPath);
  GObjectPtr<LibmsiDatabase> database(
      libmsi_database_new(hostPath.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, error.Out()));
  // libmsi fails without an error for a missing file or one that is no
  // database; the platform says ERROR_OPEN_FAILED to both.
  if (database == nullptr) return ERROR_OPEN_FAILED;
  descriptors.CloseWhenFinalized(database.get());
  Object object;
  object.kind = Kind::Database;
  object.database = std::move(database);
  objects_[handle] = std::move(object);
  return ERROR_SUCCESS;
}

Status InstallerObjects::OpenView(MsiHandle database, const std::string& query, MsiHandle view) {
  const Object* open = Find(database, Kind::Database);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  const QuietLibmsiWarnings quiet;
  GErrorSlot error;
  GObjectPtr<LibmsiQuery> prepared(
      libmsi_query_new(open->database.get(), query.c_str(), error.Out()));
  if (prepared == nullptr) return StatusOf(error.Get());
  Object object;
  object.kind = Kind::View;
  object.query = std::move(prepared);  // the query keeps its database alive
  objects_[view] = std::move(object);
  return ERROR_SUCCESS;
}

Status InstallerObjects::Execute(MsiHandle view, MsiHandle parameters) {
  Object* open = Find(view, Kind::View);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  LibmsiRecord* parameterRecord = nullptr;
  if (parameters != 0) {
    Object* record = Find(parameters, Kind::Record);
    if (record == nullptr) return ERROR_INVALID_HANDLE;
    parameterRecord = record->record.get();
  }
  const QuietLibmsiWarnings quiet;
  GErrorSlot error;
  if (!libmsi_query_execute(open->query.get(), parameterRecord, error.Out())) {
    return StatusOf(error.Get());
  }
  open->executed = true;
  return ERROR_SUCCESS;
}

Status InstallerObjects::Fetch(MsiHandle view, MsiHandle record) {
  Object* open = Find(view, Kind::View);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  // libmsi would fetch from a view never executed; the platform refuses.
  if (!open->executed) return ERROR_FUNCTION_FAILED;
  const QuietLibmsiWarnings quiet;
  GErrorSlot error;
  GObjectPtr<LibmsiRecord> row(libmsi_query_fetch(open->query.get(), error.Out()));
  if (row == nullptr) return error.Get() == nullptr ? ERROR_NO_MORE_ITEMS : StatusOf(error.Get());
  Object object;
  object.kind = Kind::Record;
  object.record = std::move(row);
  objects_[record] = std::move(object);
  return ERROR_SUCCESS;
}

Status InstallerObjects::GetString(MsiHandle record, std::uint32_t field, std::string* text) const {
  const Object* open = Find(record, Kind::Record);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  text->clear();
  if (field > libmsi_record_get_field_count(open->record.get())) return ERROR_SUCCESS;
  const GStringPtr value(libmsi_record_get_string(open->record.get(), field));
  if (value != nullptr) text->assign(value.get());
  return ERROR_SUCCESS;
}

bool InstallerObjects::Close(MsiHandle handle, Kind* kind) {
  const auto found = objects_.find(handle);
  if (found == objects_.end()) return false;
  *kind = found->second.kind;
  objects_.erase(found);
  return true;
}

std::string InstallerObjects::Describe() const {
  std::string description;
  for (const auto& open : objects_) {
    description += std::string(" [") + KindName(open.second.kind) + "]";
  }
  return description;
}

}  // namespace setup::sim
