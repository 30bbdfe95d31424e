#include "launcher/installation_in_progress.h"

#include "platform/scoped_handle.h"
#include "shared/log_events.h"

namespace setup {

bool InstallationInProgress(Platform& platform, const RunState& run) {
  Status opened = ERROR_SUCCESS;
  ScopedKernelHandle mutex(platform);
  mutex.adopt(platform.OpenMutexW(kInstallerExecuteMutex, &opened));
  if (!mutex.valid()) {
    if (opened != ERROR_FILE_NOT_FOUND) {
      Tell(platform, run, LogEvent::InstallerMutexNotOpened, {StatusText{opened}});
    }
    return false;
  }
  const std::uint32_t waited = platform.WaitForSingleObject(mutex.get(), 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
    // Taken for a moment only: held, it would keep our own installer out.
    if (!platform.ReleaseMutex(mutex.get())) Tell(platform, run, LogEvent::InstallerMutexKept);
    return false;
  }
  if (waited != WAIT_TIMEOUT) {
    Tell(platform, run, LogEvent::InstallerMutexNotWaited);
    return false;
  }
  Tell(platform, run, LogEvent::InstallationInProgress, {kInstallerExecuteMutex});
  return true;
}

}  // namespace setup
