#include "fleet/deployment_tool.h"

#include <algorithm>

#include "launcher/other_runs.h"
#include "proof/scenario.h"
#include "shared/log_events.h"
#include "sim/fake_machine.h"

namespace setup::fleet {
namespace {

constexpr Status kRetryStatus = 1618;

// The client's cache folder for a cycle's copy of the content.
std::u16string CacheFolder(int cycle) {
  std::u16string folder = u"C:\\windows\\ccmcache\\";
  for (const char digit : std::to_string(cycle)) folder += static_cast<char16_t>(digit);
  return folder;
}

// Each run in a process of its own, at a time of its own: the run log's
// name, made of both, is new each time. (The report's elapsed time is
// the tool's, kFastRetryHours and kEvaluationHours.)
void StartProcessAt(int cycle, sim::FakeMachine& machine) {
  const int hours = 6 + 2 * (cycle - 1);
  machine.SetLocalTime({2026, 12, static_cast<std::uint16_t>(8 + hours / 24),
                        static_cast<std::uint16_t>(hours % 24), 0, 0, 0});
  machine.SetProcessId(static_cast<std::uint32_t>(4000 + 4 * cycle));
}

// The run log's last "Summary:" line, as an administrator would quote it.
std::string SummaryOf(const sim::FakeMachine& machine, const std::u16string& logPath) {
  if (logPath.empty()) return "";
  const std::optional<std::string> log = machine.FileContents(logPath);
  if (!log) return "";
  const std::size_t at = log->rfind("Summary:");
  if (at == std::string::npos) return "";
  const std::size_t end = log->find_first_of("\r\n", at);
  return log->substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string Explanation(const RunRecord& last, bool lastCycle) {
  if (last.returnClass == ReturnClass::TimedOut) return "ended at the time-out (no summary)";
  const char* meaning = StatusMeaning(last.status);
  std::string reason =
      std::to_string(last.status) + " (" + (meaning ? meaning : "no meaning") + ")";
  return lastCycle && last.returnClass == ReturnClass::Retry ? reason + " after the last cycle"
                                                             : reason;
}

// Checks the end against what the machine's description allows. An end at
// a time-out is allowed only when the time-out ended every run the other
// installation left; an end still redirected only when the last run was
// killed.
std::string BrokenExpectation(const MachineHistory& history, int cycles) {
  const MachineProfile& profile = history.profile;
  if (history.end == Standing::Otherwise) return "ends in no class, or in more than one";
  if (history.afterCycle.back() != history.end) return "its last standing and its class differ";
  const bool perUser = profile.registration == Registration::PerUserOnly;
  const bool absent = profile.registration == Registration::NotInstalled;
  if ((history.end == Standing::PerUserOnly) != perUser ||
      (history.end == Standing::NotApplicable) != absent) {
    return "its applicability is not the one its registration gives";
  }
  if (perUser || absent) return history.runs.empty() ? "" : "run though not applicable";
  if (profile.supersededBefore && !history.runs.empty()) {
    return "run though a newer patch superseded this one";
  }
  if (history.clean)
    return MayEndClean(profile, cycles) ? "" : "ends clean against its description";
  const RunRecord& last = history.runs.back();
  if (history.journalKept) {
    return last.killed ? "" : "ends with the journal kept, though its last run was not killed";
  }
  if (last.returnClass == ReturnClass::TimedOut) {
    for (const RunRecord& run : history.runs) {
      if (run.cycle > profile.installationBusyCycles && !run.killed) {
        return "ends at a time-out, though a run after the other installation was not killed";
      }
    }
    return "";
  }
  const std::vector<Status> allowed = ExplainingStatuses(profile, cycles);
  return std::find(allowed.begin(), allowed.end(), last.status) != allowed.end()
             ? ""
             : "ends with a status nothing on the machine explains";
}

// The class each end-state rule puts the machine in, each rule read on its
// own: exactly one must hold.
Standing EndClass(const MachineHistory& history, const sim::FakeMachine& machine) {
  int holding = 0;
  Standing end = Standing::Otherwise;
  const auto in = [&holding, &end](bool holds, Standing standing) {
    if (!holds) return;
    ++holding;
    end = standing;
  };
  in(history.clean, Standing::PatchedClean);
  in(history.journalKept, Standing::PatchedJournalKept);
  in(history.explained && !PatchApplied(machine), Standing::Explained);
  in(history.applicability == Applicability::NotApplicable, Standing::NotApplicable);
  in(history.applicability == Applicability::PerUserOnly, Standing::PerUserOnly);
  return holding == 1 ? end : Standing::Otherwise;
}

// Where the machine stands after a cycle.
Standing StandingAfter(const MachineHistory& history, bool stopped, const MachineProfile& profile,
                       const sim::FakeMachine& machine) {
  if (history.applicability == Applicability::NotApplicable) return Standing::NotApplicable;
  if (history.applicability == Applicability::PerUserOnly) return Standing::PerUserOnly;
  const bool applied = PatchApplied(machine);
  if (applied && RegistrationClean(profile, machine)) return Standing::PatchedClean;
  if (PatchedJournalKept(machine)) return Standing::PatchedJournalKept;
  if (!stopped) return Standing::ToRetry;
  return !applied && history.explained ? Standing::Explained : Standing::Otherwise;
}

}  // namespace

const char* ReturnClassName(ReturnClass returnClass) {
  switch (returnClass) {
    case ReturnClass::Success:
      return "Success";
    case ReturnClass::SoftReboot:
      return "Soft Reboot";
    case ReturnClass::HardReboot:
      return "Hard Reboot";
    case ReturnClass::Retry:
      return "Fast Retry";
    case ReturnClass::Failure:
      return "Failure";
    case ReturnClass::TimedOut:
      return "Time-out";
  }
  return "?";
}

ReturnClass ClassOf(Status status) {
  switch (status) {
    case 0:
    case 1707:
      return ReturnClass::Success;
    case 3010:
      return ReturnClass::SoftReboot;
    case 1641:
      return ReturnClass::HardReboot;
    case kRetryStatus:
      return ReturnClass::Retry;
    default:
      return ReturnClass::Failure;
  }
}

const char* StandingName(Standing standing) {
  switch (standing) {
    case Standing::PatchedClean:
      return "patched and clean";
    case Standing::PatchedJournalKept:
      return "patched, journal kept";
    case Standing::ToRetry:
      return "to be run again";
    case Standing::Explained:
      return "not patched, explained";
    case Standing::NotApplicable:
      return "not applicable";
    case Standing::PerUserOnly:
      return "per user only";
    case Standing::Otherwise:
      return "otherwise";
  }
  return "?";
}

namespace {

// One cycle's run: the client's copy, the launcher started and perhaps
// ended at the time-out, the copy cleaned, and what the tool then reads.
RunRecord RunCycle(int cycle, const MachineProfile& profile, const ToolSettings& settings,
                   Draw& draw, sim::FakeMachine& machine) {
  if (cycle <= profile.installationBusyCycles) {
    machine.HoldMutexElsewhere(kInstallerExecuteMutex);
  } else {
    machine.ReleaseMutexElsewhere(kInstallerExecuteMutex);
  }
  const std::u16string folder = CacheFolder(cycle);
  StageRun(folder, machine);
  StartProcessAt(cycle, machine);
  if (draw.Percent(settings.killPercent)) {
    machine.CrashAt(1 + static_cast<std::size_t>(draw.Below(static_cast<int>(settings.killRange))),
                    draw.Percent(50) ? sim::Cut::BeforeCall : sim::Cut::AfterCall);
  }
  const proof::LauncherRun run = proof::RunLauncher(machine);
  RunRecord record;
  record.cycle = cycle;
  record.killed = machine.CrashCall() != nullptr;
  machine.EndProcess();
  machine.RemoveFolder(folder);
  record.status = run.exitStatus;
  record.returnClass = record.killed ? ReturnClass::TimedOut : ClassOf(run.exitStatus);
  record.summary = record.killed ? "" : SummaryOf(machine, run.logPath);
  record.detected = Detected(machine);
  record.applied = PatchApplied(machine);
  record.clean = RegistrationClean(profile, machine);
  return record;
}

}  // namespace

MachineHistory DeployToMachine(const MachineProfile& profile, const ToolSettings& settings) {
  sim::FakeMachine machine;
  SetUpMachine(profile, machine);
  Draw draw(profile.seed ^ 0x5EEDF1EE7ull);
  MachineHistory history;
  history.profile = profile;
  history.applicability = ApplicabilityOf(machine);
  bool stopped = history.applicability != Applicability::Applicable;
  int hours = 0;
  for (int cycle = 1; cycle <= settings.cycles; ++cycle) {
    if (!stopped && Detected(machine)) {
      stopped = true;
      history.clean = RegistrationClean(profile, machine);
    }
    if (!stopped) {
      RunRecord record = RunCycle(cycle, profile, settings, draw, machine);
      record.hours = hours;
      hours += record.returnClass == ReturnClass::Retry ? kFastRetryHours : kEvaluationHours;
      history.runs.push_back(record);
      const bool lastCycle = cycle == settings.cycles;
      if (record.detected) {
        stopped = true;
        history.clean = record.clean;
      } else if (record.returnClass == ReturnClass::Failure || lastCycle) {
        stopped = true;
        history.explained = record.returnClass == ReturnClass::Failure ||
                            record.returnClass == ReturnClass::TimedOut ||
                            record.returnClass == ReturnClass::Retry;
        if (history.explained) history.reason = Explanation(record, lastCycle);
      }
    }
    history.afterCycle.push_back(StandingAfter(history, stopped, profile, machine));
  }
  history.journalKept = PatchedJournalKept(machine);
  history.redirected = PatchedButRedirected(machine);
  history.end = EndClass(history, machine);
  history.broken = BrokenExpectation(history, settings.cycles);
  return history;
}

std::size_t CallsOfACompleteRun() {
  MachineProfile profile;
  sim::FakeMachine machine;
  SetUpMachine(profile, machine);
  StageRun(u"C:\\windows\\ccmcache\\1", machine);
  const std::size_t before = machine.TotalCallCount();
  static_cast<void>(proof::RunLauncher(machine));
  return machine.TotalCallCount() - before;
}

std::string ElapsedText(int hours) {
  return std::to_string(hours / 24) + " d " + std::to_string(hours % 24) + " h";
}

std::string DescribeHistory(const MachineHistory& history) {
  const MachineProfile& profile = history.profile;
  std::string text = "machine seed " + std::to_string(profile.seed) + ": " +
                     RegistrationName(profile.registration) + ", language row " +
                     std::to_string(profile.languageRow) +
                     (profile.serviceRunning ? ", a service running" : "") +
                     (profile.installationBusyCycles > 0
                          ? ", another installation for " +
                                std::to_string(profile.installationBusyCycles) + " cycles"
                          : "") +
                     (profile.tempFolderGone ? ", temporary folder gone" : "") +
                     (profile.supersededBefore ? ", the patch superseded by a newer one" : "") +
                     "\n";
  for (const RunRecord& run : history.runs) {
    text += "  cycle " + std::to_string(run.cycle) + " at " + ElapsedText(run.hours) + ": " +
            (run.killed ? std::string("killed at the time-out")
                        : "exit " + std::to_string(run.status)) +
            " [" + ReturnClassName(run.returnClass) +
            "] detected=" + (run.detected ? "yes" : "no") +
            " applied=" + (run.applied ? "yes" : "no") + " clean=" + (run.clean ? "yes" : "no") +
            "\n    " + (run.summary.empty() ? "(no summary)" : run.summary) + "\n";
  }
  text += std::string("  ends ") + StandingName(history.end) +
          (history.explained ? ": " + history.reason : "") + "\n";
  if (!history.broken.empty()) text += "  FAULT: " + history.broken + "\n";
  return text;
}

}  // namespace setup::fleet
