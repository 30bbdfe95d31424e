// Every platform call of a representative run made to fail in turn, with
// the statuses a real machine gives (file or key missing, access denied,
// more data, bad handle; a failed process start among them): the run must
// still keep its promises, checked by the same rules as the fuzzers use.
#include <gtest/gtest.h>

#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "proof/run_check.h"
#include "proof/scenario.h"
#include "proof/scenario_codec.h"
#include "proof/seed_scenarios.h"

namespace setup {
namespace {

constexpr Status kSweptStatuses[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA,
                                     ERROR_INVALID_HANDLE};

struct Outcome {
  Status exitStatus = ERROR_SUCCESS;
  std::size_t calls = 0;
  std::vector<std::string> violations;
  std::string failedEntry;
};

// Runs `scenario`, with the `failingCall`-th platform call failing with
// `status` unless `failingCall` is 0.
Outcome RunWithFault(const proof::Scenario& scenario, std::size_t failingCall, Status status) {
  static const proof::DatabasePool databases;
  sim::FakeMachine machine;
  proof::Apply(scenario, databases, machine);
  const proof::RegistrationSnapshot before = proof::TakeSnapshot(scenario, machine);
  const std::size_t setupCalls = machine.TotalCallCount();
  if (failingCall != 0) machine.FailAnyCall(status, failingCall);
  Outcome outcome;
  const proof::LauncherRun run = proof::RunLauncher(machine);
  outcome.exitStatus = run.exitStatus;
  outcome.calls = machine.TotalCallCount() - setupCalls;
  outcome.violations =
      proof::CheckRun(scenario, before, machine, run,
                      failingCall == 0 ? proof::Faults::None : proof::Faults::Injected);
  if (const sim::Operation* failed = machine.FailedAnyCall()) {
    outcome.failedEntry = sim::OperationName(*failed);
  }
  return outcome;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += "\n  " + line;
  return joined;
}

std::vector<proof::SeedScenario> Representative() {
  std::vector<proof::SeedScenario> runs;
  for (proof::SeedScenario& seed : proof::SeedScenarios()) {
    if (seed.representative) runs.push_back(std::move(seed));
  }
  return runs;
}

class FaultSweepTest : public ::testing::TestWithParam<proof::SeedScenario> {};

TEST_P(FaultSweepTest, EveryFailingCallKeepsTheRunsPromises) {
  const proof::Scenario& scenario = GetParam().scenario;
  const Outcome clean = RunWithFault(scenario, 0, ERROR_SUCCESS);
  ASSERT_TRUE(clean.violations.empty()) << "run without faults:" << Join(clean.violations);
  ASSERT_EQ(clean.exitStatus, GetParam().cleanExitStatus) << "run without faults";
  ASSERT_GT(clean.calls, 10u) << "a whole run";

  std::cout << "[fault sweep] " << GetParam().name << ": each of " << clean.calls
            << " calls failing with each of " << std::size(kSweptStatuses) << " statuses\n";
  int reported = 0;
  for (std::size_t call = 1; call <= clean.calls; ++call) {
    for (const Status status : kSweptStatuses) {
      const Outcome faulty = RunWithFault(scenario, call, status);
      if (faulty.violations.empty() || ++reported > 10) continue;
      ADD_FAILURE() << "call " << call << " (" << faulty.failedEntry << ") failing with " << status
                    << ", exit status " << faulty.exitStatus << ":" << Join(faulty.violations);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(RepresentativeRuns, FaultSweepTest, ::testing::ValuesIn(Representative()),
                         [](const ::testing::TestParamInfo<proof::SeedScenario>& run) {
                           return run.param.name;
                         });

// Every seed runs clean, and its bytes decode back to it: the fuzzers'
// corpora start from these runs.
TEST(SeedScenarioTest, SeedsRunCleanAndSurviveEncoding) {
  for (const proof::SeedScenario& seed : proof::SeedScenarios()) {
    const Outcome clean = RunWithFault(seed.scenario, 0, ERROR_SUCCESS);
    EXPECT_TRUE(clean.violations.empty()) << seed.name << ":" << Join(clean.violations);
    EXPECT_EQ(clean.exitStatus, seed.cleanExitStatus) << seed.name;
    const std::vector<std::uint8_t> bytes = proof::EncodeScenario(seed.scenario);
    const proof::Scenario decoded = proof::DecodeScenario(bytes.data(), bytes.size());
    EXPECT_EQ(proof::EncodeScenario(decoded), bytes) << seed.name << " after decoding";
    const Outcome again = RunWithFault(decoded, 0, ERROR_SUCCESS);
    EXPECT_EQ(again.exitStatus, seed.cleanExitStatus) << seed.name << " after decoding";
  }
}

}  // namespace
}  // namespace setup
