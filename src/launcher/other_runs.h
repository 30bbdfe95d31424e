// The runs a launcher must not run beside: another launcher would interleave backup, redirection
// and restore with this one's, and the platform's installer, which runs one package at a time,
// would meet a registration changed under it.
#ifndef SETUP_LAUNCHER_OTHER_RUNS_H
#define SETUP_LAUNCHER_OTHER_RUNS_H

#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "shared/run_state.h"

namespace setup {

// Machine-wide, or per session where the global one fails for another reason than access denied.
inline constexpr WideChar kGlobalLauncherMutex[] = u"Global\\Quarrix.Setup.PatchLauncher";
inline constexpr WideChar kLocalLauncherMutex[] = u"Local\\Quarrix.Setup.PatchLauncher";

// Takes the launcher mutex for the owner's lifetime.
class SingleInstance {
 public:
  explicit SingleInstance(Platform& platform);

  // True when another launcher holds the mutex, or the global one exists and refuses us
  // (refused()): a launcher of another account made it, and a session mutex would let both run. A
  // mutex that could not be made at all does not stop the run.
  bool another_is_running() const { return anotherIsRunning_; }
  bool refused() const { return refused_; }

 private:
  ScopedKernelHandle mutex_;
  bool anotherIsRunning_ = false;
  bool refused_ = false;
};

// The mutex the platform's installer holds while it executes a package.
inline constexpr WideChar kInstallerExecuteMutex[] = u"Global\\_MSIExecute";

// True, logged, when kInstallerExecuteMutex is held (waited on for no time, given back at once if
// taken) or opening it is refused (access denied), as deployment toolkits take it; one missing, or
// that cannot be opened for another reason or waited on, is taken for none, as they do.
bool InstallationInProgress(Platform& platform, const RunState& run);

}  // namespace setup

#endif  // SETUP_LAUNCHER_OTHER_RUNS_H
