#include "launcher/run_sequence.h"

#include "launcher/command_line.h"
#include "launcher/exit_status.h"
#include "launcher/run_summary.h"
#include "launcher/other_runs.h"
#include "launcher/source_folder.h"
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
  outcomes.warnings |= installer.warnings;
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
