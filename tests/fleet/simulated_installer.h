// The installer a fleet's launcher starts, as far as a fleet sees it: it
// reads the product's registration, applies the patch and records it where
// Windows Installer does (the patch's key under the system's UserData, with
// State 1), or fails as a fleet's installers do.
#ifndef SETUP_TESTS_FLEET_SIMULATED_INSTALLER_H
#define SETUP_TESTS_FLEET_SIMULATED_INSTALLER_H

#include <string>

#include "fleet/fleet_machine.h"
#include "sim/sim_records.h"

namespace setup::fleet {

// The installer program for every start on one machine; `patchKey` is
// where it records the applied patch.
sim::ChildProgram SimulatedInstaller(InstallerBehaviour behaviour, const std::string& patchKey);

}  // namespace setup::fleet

#endif  // SETUP_TESTS_FLEET_SIMULATED_INSTALLER_H
