// Hand-written whole runs drawn from the host test cases: the fault sweep
// runs the representative ones, and they seed the fuzzers' corpora.
#ifndef SETUP_TESTS_PROOF_SEED_SCENARIOS_H
#define SETUP_TESTS_PROOF_SEED_SCENARIOS_H

#include <ostream>
#include <string>
#include <vector>

#include "proof/scenario.h"

namespace setup::proof {

struct SeedScenario {
  std::string name;  // an identifier: letters and digits
  Scenario scenario;
  Status cleanExitStatus;  // without injected faults
  bool representative;     // one the fault sweep runs
};

std::vector<SeedScenario> SeedScenarios();

// A seed run by its name, as a failing test names its parameter.
void PrintTo(const SeedScenario& seed, std::ostream* out);

}  // namespace setup::proof

#endif  // SETUP_TESTS_PROOF_SEED_SCENARIOS_H
