// Every platform call of a representative run made to fail in turn, with
// the statuses a real machine gives (file or key missing, access denied,
// more data, bad handle; a failed process start among them): the run must
// still keep its promises, checked by the same rules as the fuzzers use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection/product_table.h"
#include "proof/run_check.h"
#include "proof/scenario.h"
#include "services/blocking_services.h"

namespace setup {
namespace {

using proof::KeyAccess;
using proof::Scenario;

constexpr int kHostrelRow = 2;
constexpr int kTesselRow = 0;
constexpr int kLoomworkLanguagePackRow = 7;
constexpr Status kSweptStatuses[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA,
                                     ERROR_INVALID_HANDLE};

proof::StoredValue Text(const std::string& text) {
  proof::StoredValue value;
  value.bytes.assign(text.begin(), text.end());
  value.bytes.push_back(0);
  return value;
}

Scenario TypicalRun() {
  Scenario scenario;
  scenario.commandLine = "\"C:\\Patch Files\\Setup.exe\" /qb";
  scenario.packageFiles = {{"Hostrel_Update.msp", "HOSTRE~1.MSP"}};
  scenario.products = {{kHostrelRow, KeyAccess::Full, Text(":1031.mst"), std::nullopt},
                       {kTesselRow, KeyAccess::Full, Text(":1040.mst"), std::nullopt}};
  for (const char* name : BlockingServiceNames) scenario.services.emplace_back(name, SERVICE_STOPPED);
  scenario.systemLanguage = 0x0407;
  scenario.iniValues = {{"0x0407.ini", u"0x0407", u"DESCRIPTION", u"Deutsch"}};
  return scenario;
}

Scenario LanguagePackRun() {
  Scenario scenario;
  scenario.packageFiles = {{"Loomwork_LP.msp", ""}};
  scenario.databaseFile = proof::FileName{"Loomwork LP.msi", "LOOMWO~1.MSI"};
  scenario.databaseEntry = 0;  // LanguagePackInstaller = 1
  scenario.products = {{kLoomworkLanguagePackRow, KeyAccess::Full, std::nullopt, std::nullopt},
                       {4, KeyAccess::Full, Text(":1041.mst"), std::nullopt}};
  return scenario;
}

Scenario RunAfterAnInterruptedOne() {
  Scenario scenario = TypicalRun();
  scenario.products = {{kHostrelRow, KeyAccess::Full, Text("C:\\OLD\\Files\\1036.mst"),
                        Text(":1036.mst")}};
  return scenario;
}

Scenario EnglishTransformsOwnValue() {
  Scenario scenario = TypicalRun();
  scenario.products = {{kHostrelRow, KeyAccess::Full, Text(":1033.mst"), std::nullopt}};
  scenario.iniValues.clear();
  return scenario;
}

Scenario ReadOnlyRegistration() {
  Scenario scenario = TypicalRun();
  scenario.products = {{kHostrelRow, KeyAccess::ReadOnly, Text(":1031.mst"), std::nullopt}};
  return scenario;
}

Scenario BlockedByService() {
  Scenario scenario = TypicalRun();
  scenario.services[1].second = SERVICE_RUNNING;
  return scenario;
}

struct Outcome {
  Status exitStatus = ERROR_SUCCESS;
  std::size_t calls = 0;
  std::vector<std::string> violations;
  std::string failedEntry;
};

// Runs `scenario`, with the `failingCall`-th platform call failing with
// `status` unless `failingCall` is 0.
Outcome RunWithFault(const Scenario& scenario, std::size_t failingCall, Status status) {
  static const proof::DatabasePool databases;
  sim::FakeMachine machine;
  proof::Apply(scenario, databases, machine);
  const proof::RegistrationSnapshot before = proof::TakeSnapshot(scenario, machine);
  const std::size_t setupCalls = machine.TotalCallCount();
  if (failingCall != 0) machine.FailAnyCall(status, failingCall);
  Outcome outcome;
  outcome.exitStatus = proof::RunLauncher(machine);
  outcome.calls = machine.TotalCallCount() - setupCalls;
  outcome.violations = proof::CheckRun(
      scenario, before, machine, outcome.exitStatus,
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

struct SweptRun {
  const char* name;
  Scenario (*scenario)();
  Status cleanExitStatus;
};

class FaultSweepTest : public ::testing::TestWithParam<SweptRun> {};

TEST_P(FaultSweepTest, EveryFailingCallKeepsTheRunsPromises) {
  const Scenario scenario = GetParam().scenario();
  const Outcome clean = RunWithFault(scenario, 0, ERROR_SUCCESS);
  ASSERT_TRUE(clean.violations.empty()) << "run without faults:" << Join(clean.violations);
  ASSERT_EQ(clean.exitStatus, GetParam().cleanExitStatus) << "run without faults";
  ASSERT_GT(clean.calls, 10u) << "a whole run";

  int reported = 0;
  for (std::size_t call = 1; call <= clean.calls; ++call) {
    for (const Status status : kSweptStatuses) {
      const Outcome faulty = RunWithFault(scenario, call, status);
      if (faulty.violations.empty() || ++reported > 1000) continue;
      ADD_FAILURE() << "call " << call << " (" << faulty.failedEntry << ") failing with "
                    << status << ", exit status " << faulty.exitStatus << ":"
                    << Join(faulty.violations);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    RepresentativeRuns, FaultSweepTest,
    ::testing::Values(SweptRun{"Typical", TypicalRun, ERROR_SUCCESS},
                      SweptRun{"LanguagePack", LanguagePackRun, ERROR_SUCCESS},
                      SweptRun{"AfterAnInterruptedRun", RunAfterAnInterruptedOne, ERROR_SUCCESS},
                      SweptRun{"EnglishOwnValue", EnglishTransformsOwnValue, ERROR_SUCCESS},
                      SweptRun{"ReadOnlyRegistration", ReadOnlyRegistration, ERROR_ACCESS_DENIED},
                      SweptRun{"BlockedByService", BlockedByService, 1}),
    [](const ::testing::TestParamInfo<SweptRun>& run) { return std::string(run.param.name); });

}  // namespace
}  // namespace setup
