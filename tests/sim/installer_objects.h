// The installer objects behind the simulated machine's installer handles:
// databases, views and records, read from real database files with libmsi.
// Texts are UTF-8 here, as libmsi keeps them; the machine converts from and
// to the ANSI code page. Handle values are chosen by the caller.
#ifndef SETUP_TESTS_SIM_INSTALLER_OBJECTS_H
#define SETUP_TESTS_SIM_INSTALLER_OBJECTS_H

#include <libmsi.h>

#include <cstddef>
#include <map>
#include <string>

#include "platform/platform.h"
#include "sim/glib_object.h"

namespace setup::sim {

class InstallerObjects {
 public:
  // The kind of object a handle stands for.
  enum class Kind { Database, View, Record };

  // The name of a kind as tests see it: "database", "view" or "record".
  static const char* KindName(Kind kind);

  // Opens the database file at `hostPath` read-only as `handle`.
  // ERROR_OPEN_FAILED when libmsi cannot read it as a database.
  Status OpenDatabase(const std::string& hostPath, MsiHandle handle);

  // Prepares `query` on the database behind `database` as view `view`.
  // ERROR_INVALID_HANDLE when `database` is no open database, else libmsi's
  // verdict on the query (ERROR_BAD_QUERY_SYNTAX for a missing table too).
  Status OpenView(MsiHandle database, const std::string& query, MsiHandle view);

  // Runs the view's query; `parameters` is 0 or a record handle.
  Status Execute(MsiHandle view, MsiHandle parameters);

  // The view's next row as record `record`: ERROR_NO_MORE_ITEMS after the
  // last row, ERROR_FUNCTION_FAILED before the view was executed.
  Status Fetch(MsiHandle view, MsiHandle record);

  // Field `field` of the record as text; "" for a field out of range or
  // null. ERROR_INVALID_HANDLE when `record` is no open record.
  Status GetString(MsiHandle record, std::uint32_t field, std::string* text) const;

  // Releases the object behind `handle`. False when there is none; else
  // `*kind` says what it was.
  bool Close(MsiHandle handle, Kind* kind);

  // Releases every object, as the end of the process holding them does.
  void CloseAll() { objects_.clear(); }

  // Handles open, and a description of them for a failure message.
  std::size_t OpenCount() const { return objects_.size(); }
  std::string Describe() const;

 private:
  // One object; only the member its kind names is set.
  struct Object {
    Kind kind = Kind::Database;
    GObjectPtr<LibmsiDatabase> database;
    GObjectPtr<LibmsiQuery> query;
    GObjectPtr<LibmsiRecord> record;
    bool executed = false;  // for a view
  };

  // The object of that kind behind `handle`, or null.
  Object* Find(MsiHandle handle, Kind kind);
  const Object* Find(MsiHandle handle, Kind kind) const;

  std::map<MsiHandle, Object> objects_;
};

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_INSTALLER_OBJECTS_H
