// How the launcher's exit status is made up.
#ifndef SETUP_LAUNCHER_EXIT_STATUS_H
#define SETUP_LAUNCHER_EXIT_STATUS_H

#include "platform/platform.h"

namespace setup {

// A product service was not stopped; nothing was changed or started.
constexpr Status kExitServiceRunning = 1;

// Every other status is a platform or installer code passed up unchanged:
// the installer's own (0, 1602, 1603, 1641, 3010, ...), the start error
// of the interpreter, ERROR_INSUFFICIENT_BUFFER (122) for a command line
// that would not fit.

}  // namespace setup

#endif  // SETUP_LAUNCHER_EXIT_STATUS_H
