#include "launcher/installation_in_progress.h"

#include "platform/scoped_handle.h"
#include "shared/status_meanings.h"

namespace setup {

bool InstallationInProgress(Platform& platform, const RunState& run) {
  Status opened = ERROR_SUCCESS;
  ScopedKernelHandle mutex(platform);
  mutex.adopt(platform.OpenMutexW(kInstallerExecuteMutex, &opened));
  if (!mutex.valid()) {
    if (opened != ERROR_FILE_NOT_FOUND) {
      WriteLog(platform, run,
               LogLine() << "Installer mutex: could not be opened (" << StatusText{opened}
                         << "); taken for no installation in progress");
    }
    return false;
  }
  const std::uint32_t waited = platform.WaitForSingleObject(mutex.get(), 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
    // Taken for a moment only: held, it would keep our own installer out.
    if (!platform.ReleaseMutex(mutex.get())) {
      WriteLog(platform, run, LogLine() << "Installer mutex: taken but could not be given back");
    }
    return false;
  }
  if (waited != WAIT_TIMEOUT) {
    WriteLog(platform, run, LogLine() << "Installer mutex: not waited on (failed); taken as free");
    return false;
  }
  WriteLog(platform, run,
           LogLine() << "Another installation is in progress (the installer holds "
                     << kInstallerExecuteMutex
                     << "): nothing is changed or started; run again after it");
  return true;
}

}  // namespace setup
