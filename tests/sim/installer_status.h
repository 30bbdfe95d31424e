// Status codes of the installer entries that platform.h does not list,
// because the launcher only passes them on; the simulated machine and its
// tests need them by name. Values are the platform's.
#ifndef SETUP_TESTS_SIM_INSTALLER_STATUS_H
#define SETUP_TESTS_SIM_INSTALLER_STATUS_H

#include "platform/platform.h"

namespace setup::sim {

constexpr Status ERROR_INVALID_PARAMETER = 87;
constexpr Status ERROR_OPEN_FAILED = 110;        // no such file, or not a database
constexpr Status ERROR_BAD_QUERY_SYNTAX = 1615;  // also: the query names a missing table
constexpr Status ERROR_FUNCTION_FAILED = 1627;   // e.g. fetching from a view not executed

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_INSTALLER_STATUS_H
