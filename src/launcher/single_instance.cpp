#include "launcher/single_instance.h"

namespace setup {

SingleInstance::SingleInstance(Platform& platform) : mutex_(platform) {
  Status error = ERROR_SUCCESS;
  KernelHandle mutex = platform.CreateMutexExW(kGlobalLauncherMutex, &error);
  // Creating a named mutex in Global\\ needs no privilege (only file
  // mappings do), so access denied means it exists under a descriptor
  // that shuts us out.
  refused_ = mutex == NO_KERNEL_HANDLE && error == ERROR_ACCESS_DENIED;
  if (refused_) {
    anotherIsRunning_ = true;
    return;
  }
  if (mutex == NO_KERNEL_HANDLE) mutex = platform.CreateMutexExW(kLocalLauncherMutex, &error);
  mutex_.adopt(mutex);
  anotherIsRunning_ = mutex_.valid() && error == ERROR_ALREADY_EXISTS;
}

}  // namespace setup
