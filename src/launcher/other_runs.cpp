#include "launcher/other_runs.h"

#include "shared/log_events.h"

namespace setup {

SingleInstance::SingleInstance(Platform& platform) : mutex_(platform) {
  Status error = ERROR_SUCCESS;
  KernelHandle mutex = platform.CreateMutexExW(kGlobalLauncherMutex, &error);
  // Creating a named mutex in Global\\ needs no privilege (only file mappings do): access denied
  // means one exists whose descriptor shuts us out.
  refused_ = mutex == NO_KERNEL_HANDLE && error == ERROR_ACCESS_DENIED;
  if (mutex == NO_KERNEL_HANDLE && !refused_) {
    mutex = platform.CreateMutexExW(kLocalLauncherMutex, &error);
  }
  mutex_.adopt(mutex);
  anotherIsRunning_ = refused_ || (mutex_.valid() && error == ERROR_ALREADY_EXISTS);
}

bool InstallationInProgress(Platform& platform, const RunState& run) {
  Status opened = ERROR_SUCCESS;
  ScopedKernelHandle mutex(platform);
  mutex.adopt(platform.OpenMutexW(kInstallerExecuteMutex, &opened));
  if (!mutex.valid()) {
    // Access denied: it exists, and its descriptor shuts this account out.
    if (opened == ERROR_ACCESS_DENIED) {
      Tell<LogEvent::InstallerMutexRefused>(run, kInstallerExecuteMutex);
      return true;
    }
    if (opened != ERROR_FILE_NOT_FOUND) {
      Tell<LogEvent::InstallerMutexNotOpened>(run, StatusText{opened});
    }
    return false;
  }
  const std::uint32_t waited = platform.WaitForSingleObject(mutex.get(), 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
    // Taken for a moment only: held, it would keep our own installer out.
    if (!platform.ReleaseMutex(mutex.get())) Tell<LogEvent::InstallerMutexKept>(run);
    return false;
  }
  if (waited != WAIT_TIMEOUT) {
    Tell<LogEvent::InstallerMutexNotWaited>(run);
    return false;
  }
  Tell<LogEvent::InstallationInProgress>(run, kInstallerExecuteMutex);
  return true;
}

}  // namespace setup
