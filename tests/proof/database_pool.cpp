#include "proof/database_pool.h"

#include <fstream>
#include <stdexcept>

#include "sim/installer_database_builder.h"

namespace setup::proof {

namespace {

constexpr char kProperty[] = "LanguagePackInstaller";

// Each entry's Property rows; one more entry follows, a file that is no
// database.
const std::vector<std::vector<sim::PropertyRow>>& PropertyTables() {
  static const std::vector<std::vector<sim::PropertyRow>> tables = {
      {{kProperty, "1"}},
      {{kProperty, "0"}},
      {{kProperty, "1 "}},
      {{kProperty, "11"}},
      {{kProperty, "1" + std::string(300, 'x')}},  // longer than the launcher's buffer
      {{"ProductName", "Quarrix Hostrel"}},        // no such property
      {{kProperty, "TRUE"}},
  };
  return tables;
}

}  // namespace

bool DatabasePool::LanguagePackEntry(std::size_t index) {
  const auto& tables = PropertyTables();
  const std::size_t entry = index % (tables.size() + 1);
  if (entry == tables.size()) return false;
  for (const sim::PropertyRow& row : tables[entry]) {
    if (row.name == kProperty && row.value == "1") return true;
  }
  return false;
}

DatabasePool::DatabasePool() {
  for (const auto& rows : PropertyTables()) {
    hostFiles_.push_back(folder_.File(std::to_string(hostFiles_.size()) + ".msi"));
    sim::BuildDatabaseWithProperties(hostFiles_.back(), rows);
  }
  hostFiles_.push_back(folder_.File("not-a-database.msi"));
  std::ofstream(hostFiles_.back(), std::ios::binary) << "plain text";
}

}  // namespace setup::proof
