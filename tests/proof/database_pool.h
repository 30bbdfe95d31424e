// Installer databases built once per process: building one takes a process
// of its own, far too slow for every fuzzed run. The launcher asks a
// database only whether one property is exactly "1", so a handful of
// values covers what it can tell apart.
#ifndef SETUP_TESTS_PROOF_DATABASE_POOL_H
#define SETUP_TESTS_PROOF_DATABASE_POOL_H

#include <cstddef>
#include <string>
#include <vector>

#include "sim/scoped_temp_dir.h"

namespace setup::proof {

class DatabasePool {
 public:
  // Builds every entry; throws std::runtime_error when msibuild fails.
  DatabasePool();

  // How many entries there are; the last is a file that is no database.
  std::size_t size() const { return hostFiles_.size(); }
  // The host file of entry `index` modulo size().
  const std::string& HostFile(std::size_t index) const {
    return hostFiles_[index % hostFiles_.size()];
  }
  // Whether entry `index` (modulo size()) is a language-pack installer's
  // database: its LanguagePackInstaller property is exactly "1". Known
  // without building the pool, for the checker.
  static bool LanguagePackEntry(std::size_t index);

 private:
  sim::ScopedTempDir folder_;
  std::vector<std::string> hostFiles_;
};

}  // namespace setup::proof

#endif  // SETUP_TESTS_PROOF_DATABASE_POOL_H
