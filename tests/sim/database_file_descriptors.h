// libmsi leaves the file descriptor of a database it opened read-only open
// after the database object is gone: one per successful open. A fuzzing
// campaign of millions of runs reaches the process's descriptor limit that
// way, and then everything that needs a descriptor fails, the sanitizers'
// own checks included. This closes them once the database is finalized.
// Included by the sources of the simulated machine that talk to libmsi.
#ifndef SETUP_TESTS_SIM_DATABASE_FILE_DESCRIPTORS_H
#define SETUP_TESTS_SIM_DATABASE_FILE_DESCRIPTORS_H

#include <libmsi.h>

#include <string>
#include <vector>

namespace setup::sim {

// Taken just before libmsi opens `hostPath`; after a successful open,
// CloseWhenFinalized hands the descriptors opened since to `database`.
class DatabaseFileDescriptors {
 public:
  explicit DatabaseFileDescriptors(const std::string& hostPath);

  // Closes the descriptors opened on the file since construction when
  // `database` is finalized (its last reference dropped: a view keeps it).
  void CloseWhenFinalized(LibmsiDatabase* database) const;

 private:
  std::string hostPath_;
  std::vector<int> openBefore_;
};

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_DATABASE_FILE_DESCRIPTORS_H
