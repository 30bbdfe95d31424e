#include "launcher/run_sequence.h"

#include <iterator>

#include "detection/product_identification.h"
#include "launcher/command_line.h"
#include "launcher/other_runs.h"
#include "platform/bounded_text.h"
#include "runner/patch_runner.h"
#include "services/service_guard.h"
#include "shared/log_events.h"
#include "shared/patch_folder.h"
#include "transforms/transforms_redirection.h"

#ifndef SETUP_VERSION
#define SETUP_VERSION "unknown"
#endif

namespace setup {

namespace {

// The launcher's own verdicts, each ending a run before anything changed. Their numbers are kept
// for good: deployment tools act on them.
enum class Verdict : Status {
  None = 0,
  ServiceRunning = 1,                              // a product service is not stopped
  AnotherRunning = ERROR_INSTALL_ALREADY_RUNNING,  // another launcher or installation
  NotCarried = ERROR_INVALID_COMMAND_LINE,         // arguments or patch path not passable
};

// What the steps of one run returned, made once at the step that ended it.
struct RunOutcomes {
  Verdict refusal = Verdict::None;
  int product = kNoProduct;    // the identified row
  std::uint32_t warnings = 0;  // RunWarning bits
  WidePath patch;              // the chosen package's name
  bool registered = false;
  Status installer = ERROR_SUCCESS;  // or the error that kept it from starting
  bool installerStarted = false;
  // The registration's: a journal that could not be finished, an earlier run's before the installer
  // or this run's after it.
  Status restore = ERROR_SUCCESS;
  bool redirected = false;
};

RunOutcomes Refused(Verdict verdict, int product = kNoProduct, std::uint32_t warnings = 0) {
  return {verdict,       product, warnings,      WidePath{}, false,
          ERROR_SUCCESS, false,   ERROR_SUCCESS, false};
}

// A refusal's number; else the registration's failure (it may not be as it was); else the
// installer's status, its 1 reported as 1603 so that the service guard's keeps its meaning, and its
// 259 too: a tool polling our exit code would take STILL_ACTIVE for a launcher still running.
constexpr Status ExitStatusOf(const RunOutcomes& outcomes) {
  if (outcomes.refusal != Verdict::None) return static_cast<Status>(outcomes.refusal);
  if (outcomes.restore != ERROR_SUCCESS) return outcomes.restore;
  const Status ended = outcomes.installer;
  return ended == 1 || ended == STILL_ACTIVE ? ERROR_INSTALL_FAILURE : ended;
}

// The run's last log line, key=value pairs for log collectors; its quoted values hold no quote.
void WriteRunSummary(const RunState& run, const RunOutcomes& outcomes, Status exitStatus,
                     std::uint32_t durationMs) {
  const char* const meaning = StatusMeaning(exitStatus);
  // One key a RunWarning bit, in bit order; added only ever at the end.
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

// Who ran, where, and how quietly: where a support case starts.
UserMessages LogStart(Platform& platform, const RunState& run, const WideChar* commandLine) {
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
  return DecideUserMessages(platform, run, processId,
                            RequestsUnattendedRun(CommandTail(commandLine)));
}

// The steps in their order; a refusal ends the run before anything changes.
RunOutcomes RunSteps(Platform& platform, const RunState& run) {
  const WideChar* const commandTail = CommandTail(platform.GetCommandLineW());
  // The running installation would meet a registration pulled from under it.
  if (InstallationInProgress(platform, run)) return Refused(Verdict::AnotherRunning);
  const PatchFolder folder = CapturePatchFolder(platform, run);
  // A running service refuses the run, with its message, whatever else is wrong with it.
  const ServiceCheck services = CheckBlockingServices(platform, run, folder);
  if (services.blocks) return Refused(Verdict::ServiceRunning, services.product, services.warnings);
  const InstallerCommand command = PrepareInstallerCommand(platform, run, folder, commandTail);
  if (command.refusal != ERROR_SUCCESS) return Refused(Verdict::NotCarried);
  const Identification product = IdentifyProduct(platform, run, folder, command.packages.chosen);
  if (folder.path.empty()) {
    ShowUserMessage(platform, run, u"Fatal Error, no source directory.", u"Error:", MB_OK);
  }
  // An earlier run's journal is finished first; a redirection not made still lets the patch run.
  const Redirection redirection = RedirectTransforms(platform, run, folder, product);
  const bool recovered = redirection.recovery == ERROR_SUCCESS;
  const InstallerRun installer =
      recovered ? RunPatch(platform, run, folder, command) : InstallerRun{};
  const Status restore =
      recovered ? RestoreTransforms(platform, run, redirection) : redirection.recovery;
  // The packages' pre-flight counts only where the installer step is reached, as it always did.
  return {Verdict::None,
          product.row,
          product.warnings | redirection.warnings | (recovered ? command.warnings : 0u),
          command.packages.chosen,
          redirection.registered,
          installer.status,
          installer.started,
          restore,
          redirection.held == Held::Redirection};
}

}  // namespace

Status RunSetup(Platform& platform, RunState& run) {
  run = RunState{};
  const std::uint32_t started = platform.GetTickCount();
  OpenRunLog(platform, run.Log);
  const SingleInstance instance(platform);
  const bool alone = !instance.another_is_running();
  if (alone) run.Messages = LogStart(platform, run, platform.GetCommandLineW());
  const RunOutcomes outcomes = alone ? RunSteps(platform, run) : Refused(Verdict::AnotherRunning);
  const Status exitStatus = ExitStatusOf(outcomes);
  if (alone) {
    Tell<LogEvent::Ends>(run, StatusText{exitStatus}, platform.GetTickCount() - started);
  } else {
    Tell<LogEvent::AnotherLauncher>(
        run, instance.refused() ? " (its mutex refuses this account: another account runs it)" : "",
        StatusText{exitStatus});
  }
  WriteRunSummary(run, outcomes, exitStatus, platform.GetTickCount() - started);
  CloseRunLog(run.Log);
  return exitStatus;
}

Status RunSetup(Platform& platform) {
  RunState run;
  return RunSetup(platform, run);
}

}  // namespace setup
