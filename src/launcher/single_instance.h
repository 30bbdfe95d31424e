// One launcher at a time: two would interleave backup, redirection and
// restore, and one could restore while the other's patch still runs.
#ifndef SETUP_LAUNCHER_SINGLE_INSTANCE_H
#define SETUP_LAUNCHER_SINGLE_INSTANCE_H

#include "platform/platform.h"
#include "platform/scoped_handle.h"

namespace setup {

// The mutex every launcher takes: machine-wide, or per session where the
// global one cannot be made for another reason than access denied.
inline constexpr WideChar kGlobalLauncherMutex[] = u"Global\\Quarrix.Setup.PatchLauncher";
inline constexpr WideChar kLocalLauncherMutex[] = u"Local\\Quarrix.Setup.PatchLauncher";

// Takes the launcher mutex for the owner's lifetime.
class SingleInstance {
 public:
  explicit SingleInstance(Platform& platform);

  // True when another launcher holds the mutex, or the global one exists
  // and refuses us (ERROR_ACCESS_DENIED): a launcher of another account
  // made it, and falling back to a session mutex would let both run. A
  // mutex that could not be made at all does not stop the run.
  bool another_is_running() const { return anotherIsRunning_; }
  // The global mutex refused us, which is why another launcher is taken
  // to run.
  bool refused() const { return refused_; }

 private:
  ScopedKernelHandle mutex_;
  bool anotherIsRunning_ = false;
  bool refused_ = false;
};

}  // namespace setup

#endif  // SETUP_LAUNCHER_SINGLE_INSTANCE_H
