// Windows constants that only the tests use, beside the launcher's own in
// platform.h and under the same rule: platform names and values (checked
// against <windows.h> by tests/win32/test_constants_check.cpp), so a file
// that includes <windows.h> must include this header first.
#ifndef SETUP_TESTS_SIM_PLATFORM_TEST_CONSTANTS_H
#define SETUP_TESTS_SIM_PLATFORM_TEST_CONSTANTS_H

#include <cstdint>

namespace setup {

// Registry: the rights within KEY_READ_WRITE beyond KEY_READ.
constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
// The type of the installer's patch State values.
constexpr std::uint32_t REG_DWORD = 4;

// Services.
constexpr std::uint32_t SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr std::uint32_t SERVICE_ALL_ACCESS = 0xF01FF;
constexpr std::uint32_t SERVICE_START_PENDING = 2;
constexpr std::uint32_t SERVICE_STOP_PENDING = 3;
constexpr std::uint32_t SERVICE_RUNNING = 4;
constexpr std::uint32_t SERVICE_CONTINUE_PENDING = 5;
constexpr std::uint32_t SERVICE_PAUSE_PENDING = 6;
constexpr std::uint32_t SERVICE_PAUSED = 7;

// Files.
constexpr std::uint32_t FILE_FLAG_WRITE_THROUGH = 0x80000000u;

}  // namespace setup

#endif  // SETUP_TESTS_SIM_PLATFORM_TEST_CONSTANTS_H
