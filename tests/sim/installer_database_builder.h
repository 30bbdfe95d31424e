// Builds installer database files on the host for tests, with msibuild, so
// that the simulated machine reads real databases and the repository holds
// no binary fixtures.
#ifndef SETUP_TESTS_SIM_INSTALLER_DATABASE_BUILDER_H
#define SETUP_TESTS_SIM_INSTALLER_DATABASE_BUILDER_H

#include <string>
#include <vector>

namespace setup::sim {

// One row of a Property table.
struct PropertyRow {
  std::string name;   // the primary key, up to 72 characters
  std::string value;  // UTF-8; the installer keeps no empty values
};

// Writes a new database at `hostPath` (which must not exist) whose Property
// table holds `rows`, with Windows' column types (Property s72, Value l0).
// Throws std::invalid_argument for a row the table cannot hold (empty or
// over-long name, empty value, a tab or line break) and std::runtime_error
// when msibuild fails.
void BuildDatabaseWithProperties(const std::string& hostPath, const std::vector<PropertyRow>& rows);

// Writes a new database at `hostPath` that has no Property table; it holds
// an empty Feature table instead. Throws std::runtime_error when msibuild
// fails.
void BuildDatabaseWithoutPropertyTable(const std::string& hostPath);

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_INSTALLER_DATABASE_BUILDER_H
