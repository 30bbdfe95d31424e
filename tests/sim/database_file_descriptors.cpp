#include "sim/database_file_descriptors.h"

#include <unistd.h>

#include <algorithm>
#include <memory>

#include "sim/host_descriptors.h"

namespace setup::sim {
namespace {

// What the finalize notification needs: the file and the descriptors
// libmsi opened on it for that one database.
struct Leftovers {
  std::string resolvedPath;
  std::vector<int> descriptors;
};

void CloseLeftovers(gpointer data, GObject*) {
  const std::unique_ptr<Leftovers> leftovers(static_cast<Leftovers*>(data));
  for (const int descriptor : leftovers->descriptors) {
    // Only while it still names that file: never a descriptor reused since.
    if (FileOpenAs(descriptor) == leftovers->resolvedPath) close(descriptor);
  }
}

}  // namespace

DatabaseFileDescriptors::DatabaseFileDescriptors(const std::string& hostPath)
    : hostPath_(hostPath), openBefore_(DescriptorsOpenOn(hostPath)) {}

void DatabaseFileDescriptors::CloseWhenFinalized(LibmsiDatabase* database) const {
  auto leftovers = std::make_unique<Leftovers>();
  leftovers->resolvedPath = ResolvedHostPath(hostPath_);
  for (const int descriptor : DescriptorsOpenOn(hostPath_)) {
    if (std::find(openBefore_.begin(), openBefore_.end(), descriptor) == openBefore_.end()) {
      leftovers->descriptors.push_back(descriptor);
    }
  }
  if (leftovers->descriptors.empty()) return;
  g_object_weak_ref(G_OBJECT(database), &CloseLeftovers, leftovers.release());
}

}  // namespace setup::sim
