// Whole launcher runs on a simulated machine built from the input: the
// patch folder and its files, ini values, product registrations with any
// bytes and access, services, language, code pages, the installer
// database, the command line and what the installer does. Every run must
// keep the promises the run check lists; a broken one aborts with a report.
// A run must also leave no host descriptor open: a leak of one in a hundred
// runs exhausts the process within a campaign, and then nothing it reports
// can be trusted.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "proof/database_pool.h"
#include "proof/run_check.h"
#include "proof/scenario.h"
#include "proof/scenario_codec.h"
#include "sim/host_descriptors.h"

namespace {

const setup::proof::DatabasePool& Databases() {
  static const setup::proof::DatabasePool databases;
  return databases;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static_cast<void>(Databases());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace setup;
  const proof::Scenario scenario = proof::DecodeScenario(data, size);
  const std::size_t descriptorsBefore = sim::OpenDescriptorCount();
  {
    sim::FakeMachine machine;
    try {
      proof::Apply(scenario, Databases(), machine);
    } catch (const std::invalid_argument&) {
      return -1;  // a machine the simulation cannot hold; not worth keeping
    }
    const proof::RegistrationSnapshot before = proof::TakeSnapshot(scenario, machine);
    const proof::LauncherRun run = proof::RunLauncher(machine);
    const auto violations = proof::CheckRun(scenario, before, machine, run, proof::Faults::None);
    if (!violations.empty()) {
      std::fprintf(stderr, "broken promises (exit status %u):\n",
                   static_cast<unsigned>(run.exitStatus));
      for (const std::string& violation : violations) {
        std::fprintf(stderr, "  %s\n", violation.c_str());
      }
      std::fprintf(stderr, "the run:\n%s", proof::DescribeRun(scenario, machine, run).c_str());
      std::abort();
    }
  }
  // Counted once the machine is gone, with everything it held.
  const std::size_t descriptorsAfter = sim::OpenDescriptorCount();
  if (descriptorsAfter <= descriptorsBefore) return 0;
  std::fprintf(stderr, "broken promises: the run left %zu host descriptors open (%zu before)\n",
               descriptorsAfter - descriptorsBefore, descriptorsBefore);
  std::abort();
}
