// Proves at compile time that the constants the tests add to platform.h's
// carry the values Windows gives them, as src/platform/win32/
// constants_check.cpp does for the launcher's own. Compiles to nothing.
#include "sim/platform_test_constants.h"

#include <cstdint>

// clang-format off
#define SETUP_TEST_CONSTANTS(X)                                                                \
  X(KEY_SET_VALUE) X(KEY_CREATE_SUB_KEY) X(REG_DWORD)                                          \
  X(SC_MANAGER_ALL_ACCESS) X(SERVICE_ALL_ACCESS)                                               \
  X(SERVICE_START_PENDING) X(SERVICE_STOP_PENDING) X(SERVICE_RUNNING)                          \
  X(SERVICE_CONTINUE_PENDING) X(SERVICE_PAUSE_PENDING) X(SERVICE_PAUSED)                       \
  X(FILE_FLAG_WRITE_THROUGH)
// clang-format on

namespace test_constants_check {

#define SETUP_READ_OURS(name) constexpr std::uint64_t kOurs_##name = setup::name;
SETUP_TEST_CONSTANTS(SETUP_READ_OURS)

}  // namespace test_constants_check

#include <windows.h>
#include <winsvc.h>

namespace test_constants_check {

#define SETUP_CHECK_SAME_VALUE(name) static_assert(kOurs_##name == std::uint64_t{name}, #name);
SETUP_TEST_CONSTANTS(SETUP_CHECK_SAME_VALUE)

}  // namespace test_constants_check
