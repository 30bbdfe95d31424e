#include "proof/database_pool.h"

#include <fstream>
#include <stdexcept>

#include "sim/installer_database_builder.h"

namespace setup::proof {

namespace {

constexpr char kProperty[] = "LanguagePackInstaller";

}  // namespace

DatabasePool::DatabasePool() {
  const std::vector<std::vector<sim::PropertyRow>> tables = {
      {{kProperty, "1"}},
      {{kProperty, "0"}},
      {{kProperty, "1 "}},
      {{kProperty, "11"}},
      {{kProperty, "1" + std::string(300, 'x')}},  // longer than the launcher's buffer
      {{"ProductName", "Quarrix Hostrel"}},        // no such property
      {{kProperty, "TRUE"}},
  };
  for (const auto& rows : tables) {
    hostFiles_.push_back(folder_.File(std::to_string(hostFiles_.size()) + ".msi"));
    sim::BuildDatabaseWithProperties(hostFiles_.back(), rows);
  }
  hostFiles_.push_back(folder_.File("not-a-database.msi"));
  std::ofstream(hostFiles_.back(), std::ios::binary) << "plain text";
}

}  // namespace setup::proof
