// The launcher killed between any two platform calls of a representative
// run (and of one whose own Transforms the ANSI code page cannot spell),
// just before the call takes effect and just after: whatever the kill left
// in the registry, the files and the services, the next launcher on that
// machine must put the product's own Transforms back, leave no
// TransformsBackup and touch no other registration. It is judged by the
// fault sweep's promises against the registration as it stood before the
// killed run, with no fault forgiven, and must end as a run that was never
// killed would.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "detection/product_identification.h"
#include "proof/run_check.h"
#include "proof/scenario.h"
#include "proof/seed_scenarios.h"
#include "sim/utf16_bytes.h"

namespace setup {
namespace {

// Beside the fault sweep's runs: a value a code-page round trip would spoil.
constexpr char kOutsideCodePageRun[] = "OwnValueOutsideCodePage";

constexpr sim::Cut kCuts[] = {sim::Cut::BeforeCall, sim::Cut::AfterCall};

const char* CutName(sim::Cut cut) { return cut == sim::Cut::BeforeCall ? "before" : "after"; }

// One kill: at the `call`-th platform call of a run, before or after it.
struct Kill {
  std::size_t call;
  sim::Cut cut;
};

// What the killed runs left and what the run after them did.
struct Restart {
  std::size_t calls = 0;          // of the run after the kills
  bool lastKillHit = true;        // the last kill came before its run ended
  std::string killedAt;           // each kill's entry, for a report
  bool registrationLeft = false;  // a kill left a registration unlike before
  bool registryWritten = false;   // the run after the kills wrote the registry
  std::string machineLeft;        // what the kills left, as MachineState gives it
  proof::LauncherRun run{};
  std::vector<std::string> violations;
  std::string description;  // the scenario and the last run, for a report
};

const proof::DatabasePool& Databases() {
  static const proof::DatabasePool databases;
  return databases;
}

// Whether a product registration differs from the snapshot, value bytes
// and types compared.
bool RegistrationDiffers(const proof::RegistrationSnapshot& before,
                         const sim::FakeMachine& machine) {
  const auto same = [](const std::optional<sim::RegistryValue>& left,
                       const std::optional<sim::RegistryValue>& right) {
    return left.has_value() == right.has_value() &&
           (!left || (left->type == right->type && left->bytes == right->bytes));
  };
  for (int row = 0; row < ProductTableCount; ++row) {
    const proof::KeyState& key = before.keys[static_cast<std::size_t>(row)];
    const std::string path = proof::ProductKeyOf(row);
    if (machine.HasKey(path) != key.exists) return true;
    if (!key.exists) continue;
    if (!same(machine.GetRawValue(path, "Transforms"), key.transforms) ||
        !same(machine.GetRawValue(path, "TransformsBackup"), key.backup)) {
      return true;
    }
  }
  return false;
}

// What a run on `machine` is steered by beyond the scenario: the product
// registrations, values with their bytes and types, and the files earlier
// runs made (a run log's name depends on the names taken).
std::string MachineState(const sim::FakeMachine& machine) {
  std::string state;
  const auto add = [&](const std::optional<sim::RegistryValue>& value) {
    state += value ? "value " + std::to_string(value->type) + ":" +
                         std::string(value->bytes.begin(), value->bytes.end()) + ";"
                   : "absent;";
  };
  for (int row = 0; row < ProductTableCount; ++row) {
    const std::string path = proof::ProductKeyOf(row);
    if (!machine.HasKey(path)) {
      state += "no key;";
      continue;
    }
    add(machine.GetRawValue(path, "Transforms"));
    add(machine.GetRawValue(path, "TransformsBackup"));
  }
  for (const std::u16string& file : machine.CreatedFiles()) {
    for (const char16_t unit : file) state += std::to_string(unit) + ",";
    state += ";";
  }
  return state;
}

// Sets a machine up as `scenario` says, runs the launcher once per kill,
// each killed as `kills` says and its process then ended, and runs it once
// more to its end: that last run is checked against the registration as
// it stood before the first.
Restart RunAfterKills(const proof::Scenario& scenario, const std::vector<Kill>& kills) {
  sim::FakeMachine machine;
  proof::Apply(scenario, Databases(), machine);
  const proof::RegistrationSnapshot before = proof::TakeSnapshot(scenario, machine);
  Restart restart;
  for (const Kill& kill : kills) {
    machine.CrashAt(kill.call, kill.cut);
    static_cast<void>(proof::RunLauncher(machine));
    const sim::Operation* killedAt = machine.CrashCall();
    restart.lastKillHit = killedAt != nullptr;
    restart.killedAt += std::string(restart.killedAt.empty() ? "" : ", then ") + CutName(kill.cut) +
                        " call " + std::to_string(kill.call) + " (" +
                        (killedAt != nullptr ? sim::OperationName(*killedAt) : "after the end") +
                        ")";
    machine.EndProcess();
    restart.registrationLeft = restart.registrationLeft || RegistrationDiffers(before, machine);
  }
  restart.machineLeft = MachineState(machine);
  const std::size_t callsBefore = machine.TotalCallCount();
  restart.run = proof::RunLauncher(machine);
  restart.calls = machine.TotalCallCount() - callsBefore;
  restart.registryWritten = !machine.RegistryChanges().empty();
  restart.violations = proof::CheckRun(scenario, before, machine, restart.run, proof::Faults::None);
  restart.description = proof::DescribeRun(scenario, machine, restart.run);
  return restart;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += "\n  " + line;
  return joined;
}

std::vector<proof::SeedScenario> CrashSweptRuns() {
  std::vector<proof::SeedScenario> runs;
  for (proof::SeedScenario& seed : proof::SeedScenarios()) {
    if (seed.representative || seed.name == kOutsideCodePageRun) runs.push_back(std::move(seed));
  }
  return runs;
}

// Checks runs after kills of one seed run and counts them; a broken
// promise is reported, the first ten of a sweep in full.
class Sweep {
 public:
  explicit Sweep(const proof::SeedScenario& seed) : seed_(seed) {}

  Restart Check(const std::vector<Kill>& kills) {
    Restart restart = RunAfterKills(seed_.scenario, kills);
    ++cutPoints_;
    if (restart.run.exitStatus != seed_.cleanExitStatus) {
      restart.violations.push_back("exit status " + std::to_string(restart.run.exitStatus) +
                                   ", a run never killed ends with " +
                                   std::to_string(seed_.cleanExitStatus));
    }
    if (!restart.violations.empty() && ++broken_ <= 10) {
      ADD_FAILURE() << seed_.name << " killed " << restart.killedAt << ", the next run ended with "
                    << restart.run.exitStatus << ":" << Join(restart.violations) << "\n"
                    << restart.description;
    }
    return restart;
  }

  // One line for the test's log, and the count as a test property.
  void Report(const std::string& what) const {
    ::testing::Test::RecordProperty("cut_points", static_cast<int>(cutPoints_));
    std::cout << "[crash sweep] " << seed_.name << ", " << what << ": " << cutPoints_
              << " cut points checked, " << broken_ << " broken\n";
  }

 private:
  const proof::SeedScenario& seed_;
  std::size_t cutPoints_ = 0;
  std::size_t broken_ = 0;
};

class CrashSweepTest : public ::testing::TestWithParam<proof::SeedScenario> {};

TEST_P(CrashSweepTest, EveryKillLeavesTheNextRunItsPromises) {
  const Restart clean = RunAfterKills(GetParam().scenario, {});
  ASSERT_TRUE(clean.violations.empty()) << "run never killed:" << Join(clean.violations);
  ASSERT_EQ(clean.run.exitStatus, GetParam().cleanExitStatus) << "run never killed";
  ASSERT_GT(clean.calls, 10u) << "a whole run";

  Sweep sweep(GetParam());
  int registrationsLeft = 0;
  for (const sim::Cut cut : kCuts) {
    // One past the last call: killed as it returns from its last call.
    for (std::size_t call = 1; call <= clean.calls + 1; ++call) {
      const Restart restart = sweep.Check({{call, cut}});
      EXPECT_EQ(restart.lastKillHit, call <= clean.calls)
          << "the same run made another number of calls; killed " << restart.killedAt;
      if (restart.registrationLeft) ++registrationsLeft;
    }
  }
  // A run that writes the registration must be caught with it changed, or
  // the sweep never tried the journal.
  if (clean.registryWritten) {
    EXPECT_GT(registrationsLeft, 0) << "no kill left the registration changed";
  }
  sweep.Report("killed once at each of " + std::to_string(clean.calls) +
               " calls, before and after, " + std::to_string(registrationsLeft) +
               " leaving the registration changed");
}

// Killed at every point, and the next run killed at every point of its
// own: the third run still finds the product's own value. A run is fully
// set by the machine it starts on (the sweep above holds each kill's run
// to the same calls), so the second run is swept once for each machine a
// first kill can leave.
TEST_P(CrashSweepTest, TwoKillsInARowLoseNothing) {
  const Restart clean = RunAfterKills(GetParam().scenario, {});
  ASSERT_GT(clean.calls, 10u) << "a whole run";

  Sweep sweep(GetParam());
  std::set<std::string> machinesLeft;
  for (const sim::Cut cut : kCuts) {
    for (std::size_t first = 1; first <= clean.calls + 1; ++first) {
      const Kill firstKill{first, cut};
      if (!machinesLeft.insert(RunAfterKills(GetParam().scenario, {firstKill}).machineLeft)
               .second) {
        continue;
      }
      // A kill right after a call leaves what one before the next call
      // leaves, so the second run is cut before each of its calls. Its
      // length depends on what the first left; the last kill tried comes
      // after its end.
      for (std::size_t second = 1;; ++second) {
        const Restart restart = sweep.Check({firstKill, {second, sim::Cut::BeforeCall}});
        if (!restart.lastKillHit) break;
        ASSERT_LT(second, 10 * clean.calls) << "the second run does not end";
      }
    }
  }
  // Beyond the machine untouched, with or without a run log: a run that
  // writes the registration must be cut with the journal in use.
  if (clean.registryWritten) {
    EXPECT_GT(machinesLeft.size(), 2u) << "no kill left the journal in use";
  }
  sweep.Report("killed twice in a row, first at each of " + std::to_string(clean.calls) +
               " calls before and after, leaving " + std::to_string(machinesLeft.size()) +
               " different machines, then at every call of the next run");
}

INSTANTIATE_TEST_SUITE_P(KilledRuns, CrashSweepTest, ::testing::ValuesIn(CrashSweptRuns()),
                         [](const ::testing::TestParamInfo<proof::SeedScenario>& run) {
                           return run.param.name;
                         });

}  // namespace
}  // namespace setup
