#include "launcher/run_sequence.h"

#include <iterator>

#include "detection/product_identification.h"
#include "launcher/command_line.h"
#include "launcher/other_runs.h"
#include "launcher/source_folder.h"
#include "platform/bounded_text.h"
#include "runner/installer_command_line.h"
#include "runner/patch_runner.h"
#include "services/service_guard.h"
#include "shared/log_events.h"
#include "transforms/transforms_redirection.h"

#ifndef SETUP_VERSION
#define SETUP_VERSION "unknown"
#endif

namespace setup {

namespace {

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

// The run's last log line, for log collectors: one line of key=value pairs,
// its exit status made from `outcomes`; its quoted values hold no quote.
void WriteRunSummary(const RunState& run, const RunOutcomes& outcomes, std::uint32_t durationMs) {
  const Status exitStatus = ExitStatusOf(outcomes);
  const char* const meaning = StatusMeaning(exitStatus);
  // One key a RunWarning bit, in bit order; keys are only ever added, at
  // the end: log collectors read them.
  constexpr const char* kWarningKeys[] = {"no-patch",        "several-patches",   "no-keyword",
                                          "not-per-machine", "transform-missing", "ini-utf8"};
  static_assert(1u << (std::size(kWarningKeys) - 1) == kWarnIniUtf8, "a key for every warning");
  LogLine warnings;
  for (std::uint32_t bit = 0; bit < std::size(kWarningKeys); ++bit) {
    if ((outcomes.warnings & (1u << bit)) != 0)
      warnings << (warnings.length() > 0 ? "," : "") << kWarningKeys[bit];
  }
  const bool identified = outcomes.product != kNoProduct;
  const ProductEntry* const product = identified ? &ProductTable[outcomes.product] : nullptr;
  Tell<LogEvent::Summary>(run, exitStatus, meaning != nullptr ? meaning : "",
                          outcomes.installerStarted ? LogFact(outcomes.installer) : LogFact("none"),
                          identified ? LogFact(outcomes.product) : LogFact("none"),
                          identified ? LogFact(product->keyword) : LogFact("none"),
                          identified ? LogFact(product->packedCode) : LogFact("none"),
                          identified && outcomes.registered ? "yes" : "no",
                          outcomes.refusal == Verdict::None ? outcomes.patch.c_str() : u"",
                          outcomes.redirected && outcomes.installerStarted ? "yes" : "no",
                          outcomes.warnings == 0 ? LogFact("none") : LogFact(warnings), durationMs);
}

// Whether the run shows its message boxes, logged with the session (asked
// whatever the switches: kernel32 answers at no cost). In session 0, or one
// unread, a station may call itself visible while nobody sees a box, which
// would wait for ever; a box not shown costs only the message, logged.
void DecideMessages(Platform& platform, RunState& run, std::uint32_t processId,
                    bool unattendedSwitch) {
  std::uint32_t session = 0;
  const Status sessionRead = platform.ProcessIdToSessionId(processId, &session);
  run.Messages = unattendedSwitch               ? UserMessages::HiddenBySwitch
                 : sessionRead != ERROR_SUCCESS ? UserMessages::HiddenSessionUnknown
                 : session == 0                 ? UserMessages::HiddenInSessionZero
                                                : UserMessages::ShownIfStationVisible;
  const bool read = sessionRead == ERROR_SUCCESS;
  if (run.Messages == UserMessages::ShownIfStationVisible) {
    Tell<LogEvent::Attended>(run, session);
    return;
  }
  Tell<LogEvent::Unattended>(
      run,
      unattendedSwitch ? "a switch asks for no dialogs"
      : !read          ? "the session could not be read (it may be 0, where a box waits unseen)"
                       : "session 0 (a service, or SYSTEM under a deployment tool)",
      read ? "" : "not read: ", read ? LogFact(session) : LogFact(StatusText{sessionRead}));
}

// Who ran, where, and how quietly: where a support case starts.
void LogStart(Platform& platform, RunState& run, const WideChar* commandLine,
              bool unattendedSwitch) {
  const std::uint32_t processId = platform.GetCurrentProcessId();
  WindowsVersion version;
  if (platform.RtlGetVersion(&version) == ERROR_SUCCESS) {
    Tell<LogEvent::StartedOn>(run, SETUP_VERSION, processId, version.major, version.minor,
                              version.build);
  } else {
    Tell<LogEvent::Started>(run, SETUP_VERSION, processId);
  }
  Tell<LogEvent::SingleInstance>(run);
  Tell<LogEvent::CommandLine>(run, SecretsMasked(commandLine));
  DecideMessages(platform, run, processId, unattendedSwitch);
}

// The steps in their order; a refusal ends the run before anything changes.
RunOutcomes RunSteps(Platform& platform, RunState& run) {
  const WideChar* const commandLine = platform.GetCommandLineW();
  const WideChar* const commandTail = CommandTail(commandLine);
  LogStart(platform, run, commandLine, RequestsUnattendedRun(commandTail));
  RunOutcomes outcomes;
  // The running installation would meet a registration pulled from under it.
  if (InstallationInProgress(platform, run)) {
    outcomes.refusal = Verdict::AnotherRunning;
    return outcomes;
  }
  const PatchFolder folder = CapturePatchFolder(platform, run);
  // A running service is the launcher's own refusal, with its message,
  // whatever else is wrong with the run.
  const ServiceCheck services = CheckBlockingServices(platform, run, folder);
  outcomes.product = services.product;
  outcomes.warnings = services.warnings;
  if (services.blocks) {
    outcomes.refusal = Verdict::ServiceRunning;
    return outcomes;
  }
  const InstallerCommand command = PrepareInstallerCommand(platform, run, folder, commandTail);
  if (command.refusal != ERROR_SUCCESS) {
    outcomes.refusal = Verdict::NotCarried;
    return outcomes;
  }
  outcomes.patch = command.packages.chosen;
  const Identification product = IdentifyProduct(platform, run, folder, command.packages.chosen);
  // What an earlier run left is finished first; a redirection that could
  // not be made still lets the patch run.
  const Redirection redirection = RedirectTransforms(platform, run, folder, product);
  outcomes.product = product.row;
  outcomes.registered = redirection.registered;
  outcomes.warnings = product.warnings | redirection.warnings;
  outcomes.restore = redirection.recovery;
  if (redirection.recovery != ERROR_SUCCESS) return outcomes;
  const InstallerRun installer = RunPatch(platform, run, folder, command);
  outcomes.installer = installer.status;
  outcomes.installerStarted = installer.started;
  outcomes.redirected = redirection.held == Held::Redirection;
  outcomes.warnings |= command.warnings;
  outcomes.restore = RestoreTransforms(platform, run, redirection);
  return outcomes;
}

}  // namespace

Status RunSetup(Platform& platform, RunState& run) {
  run = RunState{};
  const std::uint32_t started = platform.GetTickCount();
  OpenRunLog(platform, run.Log);
  RunOutcomes outcomes;
  {
    const SingleInstance instance(platform);
    if (instance.another_is_running()) {
      outcomes.refusal = Verdict::AnotherRunning;
      Tell<LogEvent::AnotherLauncher>(
          run,
          instance.refused() ? " (its mutex refuses this account: another account runs it)" : "",
          StatusText{ExitStatusOf(outcomes)});
    } else {
      outcomes = RunSteps(platform, run);
      Tell<LogEvent::Ends>(run, StatusText{ExitStatusOf(outcomes)},
                           platform.GetTickCount() - started);
    }
  }
  WriteRunSummary(run, outcomes, platform.GetTickCount() - started);
  CloseRunLog(run.Log);
  return ExitStatusOf(outcomes);
}

Status RunSetup(Platform& platform) {
  RunState run;
  return RunSetup(platform, run);
}

}  // namespace setup
