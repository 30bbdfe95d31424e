// Refuses to patch while a product service is not stopped.
#ifndef SETUP_SERVICES_SERVICE_GUARD_H
#define SETUP_SERVICES_SERVICE_GUARD_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Tests the blocking services in order with no more rights than a status query needs. At the
// first one that is not stopped, that exists but cannot be opened, or whose state cannot be read,
// it shows the message in the product's language, closes the service and then the manager, and
// returns 1. A service counts as absent only when the manager says it does not exist. Returns 0
// when none blocks, and also when the service manager cannot be opened at all.
int CheckBlockingServices(Platform& platform, RunState& run);

}  // namespace setup

#endif  // SETUP_SERVICES_SERVICE_GUARD_H
