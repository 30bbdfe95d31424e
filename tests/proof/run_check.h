// The promises a launcher run keeps whatever the machine does, checked
// after the run: no handle left open; the installer started only as the
// interpreter running the system's msiexec.exe; a product's own Transforms
// back, and its journal gone, for the one product the run changed; every
// other registration untouched; and an exit status that never calls a
// failed run a success.
#ifndef SETUP_TESTS_PROOF_RUN_CHECK_H
#define SETUP_TESTS_PROOF_RUN_CHECK_H

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "detection/product_identification.h"
#include "proof/scenario.h"
#include "sim/fake_machine.h"

namespace setup::proof {

// One product row's registration as it stood before the run.
struct KeyState {
  bool exists = false;
  KeyAccess access = KeyAccess::Full;
  std::optional<sim::RegistryValue> transforms;
  std::optional<sim::RegistryValue> backup;
};

struct RegistrationSnapshot {
  std::array<KeyState, ProductTableCount> keys;
};

// Reads every product row's registration from `machine`, with the access
// `scenario` gave it.
RegistrationSnapshot TakeSnapshot(const Scenario& scenario, const sim::FakeMachine& machine);

// Whether platform calls were made to fail during the run. Without faults
// the exit status is predicted exactly; with them, a run may end with the
// journal kept for the next run, provided it then reports failure.
enum class Faults { None, Injected };

// Every broken promise, one line each; empty when the run kept them all.
std::vector<std::string> CheckRun(const Scenario& scenario, const RegistrationSnapshot& before,
                                  const sim::FakeMachine& machine, const LauncherRun& run,
                                  Faults faults);

// The scenario's main points and what the run did, for a failure report.
std::string DescribeRun(const Scenario& scenario, const sim::FakeMachine& machine,
                        const LauncherRun& run);

}  // namespace setup::proof

#endif  // SETUP_TESTS_PROOF_RUN_CHECK_H
