#include "sim/host_descriptors.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

namespace setup::sim {

std::string ResolvedHostPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

std::string FileOpenAs(int descriptor) {
  const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
  char target[PATH_MAX];
  const ssize_t length = readlink(link.c_str(), target, sizeof target);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

namespace {

// Every descriptor this process has open, but the one listing them.
std::vector<int> OpenDescriptors() {
  std::vector<int> open;
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return open;
  const int listing = dirfd(folder);
  while (const dirent* entry = readdir(folder)) {
    char* end = nullptr;
    errno = 0;
    const long descriptor = strtol(entry->d_name, &end, 10);
    if (errno != 0 || end == entry->d_name || *end != '\0' || descriptor == listing) continue;
    open.push_back(static_cast<int>(descriptor));
  }
  closedir(folder);
  return open;
}

}  // namespace

std::vector<int> DescriptorsOpenOn(const std::string& hostPath) {
  const std::string resolved = ResolvedHostPath(hostPath);
  std::vector<int> open;
  for (const int descriptor : OpenDescriptors()) {
    if (FileOpenAs(descriptor) == resolved) open.push_back(descriptor);
  }
  return open;
}

std::size_t OpenDescriptorCount() { return OpenDescriptors().size(); }

}  // namespace setup::sim
