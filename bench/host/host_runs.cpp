// Complete simulated launcher runs per second: the seed runs, round-robin,
// each on a fresh simulated machine, for a number of seconds (default 5).
// Prints one line: host_runs runs_per_second=<n> runs=<n> scenarios=<n>.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "proof/database_pool.h"
#include "proof/scenario.h"
#include "proof/seed_scenarios.h"

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const setup::proof::DatabasePool databases;
  const std::vector<setup::proof::SeedScenario> seeds = setup::proof::SeedScenarios();

  long runs = 0;
  const Clock::time_point start = Clock::now();
  std::chrono::duration<double> elapsed{};
  while (elapsed.count() < seconds) {
    for (const setup::proof::SeedScenario& seed : seeds) {
      setup::sim::FakeMachine machine;
      setup::proof::Apply(seed.scenario, databases, machine);
      if (setup::proof::RunLauncher(machine).exitStatus != seed.cleanExitStatus) {
        std::fprintf(stderr, "%s ended otherwise than expected\n", seed.name.c_str());
        return 1;
      }
      ++runs;
    }
    elapsed = Clock::now() - start;
  }
  std::printf("host_runs runs_per_second=%.0f runs=%ld scenarios=%zu\n",
              static_cast<double>(runs) / elapsed.count(), runs, seeds.size());
  return 0;
}
