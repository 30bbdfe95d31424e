// The launcher's exit status, made in one place from what the steps returned.
#ifndef SETUP_LAUNCHER_EXIT_STATUS_H
#define SETUP_LAUNCHER_EXIT_STATUS_H

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// The launcher's own verdicts, each ending a run before anything changed.
// Their numbers are kept for good: deployment tools act on them.
enum class Verdict : Status {
  None = 0,
  ServiceRunning = 1,                              // a product service is not stopped
  AnotherRunning = ERROR_INSTALL_ALREADY_RUNNING,  // another launcher or installation
  NotCarried = ERROR_INVALID_COMMAND_LINE,         // arguments or patch path not passable
};

// What the steps of one run returned.
struct RunOutcomes {
  Verdict refusal = Verdict::None;
  Status installer = ERROR_SUCCESS;  // or the error that kept it from starting
  // The registration's: a journal that could not be finished, an earlier
  // run's before the installer or this run's after it.
  Status restore = ERROR_SUCCESS;
  // For the summary: what the steps found and did.
  bool installerStarted = false;
  int product = kNoProduct;  // the identified row
  bool registered = false;
  bool redirected = false;
  WidePath patch;              // the chosen package's name
  std::uint32_t warnings = 0;  // RunWarning bits
};

// A refusal's number; else the registration's failure (it may not be as
// it was); else the installer's status, its 1 reported as 1603 so that
// the service guard's keeps its meaning, and its 259 (STILL_ACTIVE), which
// a tool polling our exit code would take for a launcher still running. A
// failed patch never ends as success, and a run that changed nothing never
// hides the installer's verdict.
constexpr Status ExitStatusOf(const RunOutcomes& outcomes) {
  if (outcomes.refusal != Verdict::None) return static_cast<Status>(outcomes.refusal);
  if (outcomes.restore != ERROR_SUCCESS) return outcomes.restore;
  const Status ended = outcomes.installer;
  return ended == 1 || ended == STILL_ACTIVE ? ERROR_INSTALL_FAILURE : ended;
}

}  // namespace setup

#endif  // SETUP_LAUNCHER_EXIT_STATUS_H
