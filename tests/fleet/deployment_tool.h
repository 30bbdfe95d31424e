// A deployment tool working one machine through its cycles, as
// docs/deploying.md sets one up: Configuration Manager's Script Installer
// deployment type, required, as SYSTEM, with the return codes of the docs'
// table, the requirement rule and the detection script.
//
// Before the first cycle the requirement rule (a targeted product
// registered per machine) decides whether the deployment applies at all; a
// machine it does not is never run. Each cycle: the detection rule decides
// whether to run; the client copies the content into a new cache folder and
// starts the launcher there with the unattended command line; a run still
// going at the maximum run time is ended (the launcher killed, the
// installer it started left to run out); the exit status is classed; the
// cache folder is cleaned. Then:
// - Success, Soft Reboot, Hard Reboot: the detection rule is evaluated;
//   a machine it does not find is run again at the next evaluation.
// - Fast Retry (1618): run again two hours later, up to the last cycle
//   (10 cycles in all, as Fast Retry's 10 retries).
// - A run ended at the time-out: reported failed; the next evaluation
//   finds the patch not detected and runs it again.
// - Failure: the tool reports the status and stops; a person acts on it.
// After the last cycle the tool stops whatever the status.
//
// Time between cycles: Fast Retry's two hours after 1618 (the
// Add-CMDeploymentTypeReturnCode page); after anything else the client's
// re-evaluation of required deployments, modelled at seven days, a client
// setting to be checked on a pilot machine.
#ifndef SETUP_TESTS_FLEET_DEPLOYMENT_TOOL_H
#define SETUP_TESTS_FLEET_DEPLOYMENT_TOOL_H

#include <cstddef>
#include <string>
#include <vector>

#include "fleet/fleet_machine.h"
#include "platform/platform.h"

namespace setup::fleet {

enum class ReturnClass { Success, SoftReboot, HardReboot, Retry, Failure, TimedOut };
const char* ReturnClassName(ReturnClass returnClass);
// The class of an exit status, from the docs' return-code table.
ReturnClass ClassOf(Status status);

// Where a machine stands after a cycle; after the last, its class. Every
// machine ends in exactly one class; Otherwise holds those in none or in
// more than one, and is a fault.
enum class Standing {
  PatchedClean,
  PatchedJournalKept,  // needs one more run, with a longer maximum run time
  ToRetry,
  Explained,          // not patched, with a status that tells a person what to do
  NotApplicable,      // no targeted product registered per machine: never run
  PerUserOnly,        // the product registered for a user only: never run
  Otherwise,
};
constexpr int kStandingCount = 7;
const char* StandingName(Standing standing);

// Hours from one cycle's run to the next, by what the run ended with.
constexpr int kFastRetryHours = 2;
constexpr int kEvaluationHours = 7 * 24;

struct ToolSettings {
  int cycles = 10;
  // The chance, in percent, that a run outlasts the maximum run time.
  int killPercent = 10;
  // A time-out ends a run at one of its first `killRange` platform calls
  // (a complete run's count, so some runs outlast their time-out).
  std::size_t killRange = 100;
};

// One run of the launcher and what the tool saw of it.
struct RunRecord {
  int cycle = 0;
  int hours = 0;  // since the deployment reached the machine
  bool killed = false;
  Status status = 0;
  ReturnClass returnClass = ReturnClass::Success;
  bool detected = false;
  bool applied = false;
  bool clean = false;
  std::string summary;  // the run log's Summary line; empty when none was written
};

struct MachineHistory {
  MachineProfile profile;
  std::vector<RunRecord> runs;
  std::vector<Standing> afterCycle;  // one per cycle
  Standing end = Standing::Otherwise;  // the class it ends in
  // Ended patched, its registration as it was and no journal, detected.
  bool clean = false;
  bool journalKept = false;  // ended patched, a killed run's journal kept
  bool redirected = false;   // and its Transforms still redirected
  Applicability applicability = Applicability::Applicable;
  // Ended not patched, with a reason a person can act on: a Failure status
  // (or a time-out) the tool reported, or 1618 after the last cycle.
  bool explained = false;
  std::string reason;  // for an explained machine: status and meaning
  // Why the end breaks the machine's own description; empty when it keeps
  // it (a machine with nothing against it that ends explained, say).
  std::string broken;
};

// Sets a machine up as `profile` says and deploys to it until the tool
// stops.
MachineHistory DeployToMachine(const MachineProfile& profile, const ToolSettings& settings);

// Platform calls of one complete run on an ordinary machine.
std::size_t CallsOfACompleteRun();

// Hours as days and hours ("7 d 2 h"), for the report.
std::string ElapsedText(int hours);

// The history as lines, for a report and a replay.
std::string DescribeHistory(const MachineHistory& history);

}  // namespace setup::fleet

#endif  // SETUP_TESTS_FLEET_DEPLOYMENT_TOOL_H
