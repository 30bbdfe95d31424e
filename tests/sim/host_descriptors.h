// Which descriptors of this process are open on a host file, read from
// /proc; for the simulated machine's own bookkeeping and for tests that
// check it leaves none behind.
#ifndef SETUP_TESTS_SIM_HOST_DESCRIPTORS_H
#define SETUP_TESTS_SIM_HOST_DESCRIPTORS_H

#include <cstddef>
#include <string>
#include <vector>

namespace setup::sim {

// Where `path` leads with links resolved, as /proc names an open file; the
// path itself when it cannot be resolved.
std::string ResolvedHostPath(const std::string& path);

// The file `descriptor` is open on, or "" when it is not open.
std::string FileOpenAs(int descriptor);

// The descriptors of this process open on the host file `hostPath`.
std::vector<int> DescriptorsOpenOn(const std::string& hostPath);

// How many descriptors this process has open.
std::size_t OpenDescriptorCount();

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_HOST_DESCRIPTORS_H
