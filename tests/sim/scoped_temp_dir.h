// A fresh folder on the host for one test's files, removed with everything
// in it when the owner goes.
#ifndef SETUP_TESTS_SIM_SCOPED_TEMP_DIR_H
#define SETUP_TESTS_SIM_SCOPED_TEMP_DIR_H

#include <string>

namespace setup::sim {

class ScopedTempDir {
 public:
  // Creates a new, empty folder under the system's temporary folder.
  // Throws std::runtime_error when it cannot.
  ScopedTempDir();
  // Removes the folder and its contents; failures are ignored.
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The folder's absolute path, without trailing separator.
  const std::string& path() const { return path_; }
  // The path of `name` inside the folder; nothing is created.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_SCOPED_TEMP_DIR_H
