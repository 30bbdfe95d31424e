#include "launcher/single_instance.h"

namespace setup {

SingleInstance::SingleInstance(Platform& platform) : mutex_(platform) {
  Status error = ERROR_SUCCESS;
  KernelHandle mutex = platform.CreateMutexExW(kGlobalLauncherMutex, &error);
  if (mutex == NO_KERNEL_HANDLE) mutex = platform.CreateMutexExW(kLocalLauncherMutex, &error);
  mutex_.adopt(mutex);
  anotherIsRunning_ = mutex_.valid() && error == ERROR_ALREADY_EXISTS;
}

}  // namespace setup
