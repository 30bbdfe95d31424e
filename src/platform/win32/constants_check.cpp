// Proves at compile time that the constants of platform.h carry the values
// Windows gives them. Ours are read first, while their names are still
// ours; <windows.h> then turns the same names into its macros, and each row
// compares the two. This file compiles to nothing.
#include "platform/bounded_text.h"
#include "platform/platform.h"

#include <cstdint>
#include <type_traits>

// The constants that <windows.h> defines under the same name: a row each,
// grouped as in platform.h.
// clang-format off
#define SETUP_WINDOWS_NAMED_CONSTANTS(X)                                                          \
  X(HKEY_CLASSES_ROOT)                                                                            \
  X(ERROR_SUCCESS) X(ERROR_FILE_NOT_FOUND) X(ERROR_PATH_NOT_FOUND) X(ERROR_ACCESS_DENIED)         \
  X(ERROR_INVALID_HANDLE) X(ERROR_NOT_ENOUGH_MEMORY) X(ERROR_FILE_EXISTS) X(ERROR_ALREADY_EXISTS) \
  X(ERROR_INSUFFICIENT_BUFFER) X(ERROR_MORE_DATA) X(ERROR_NO_MORE_ITEMS)                          \
  X(ERROR_INSTALL_FAILURE) X(ERROR_SERVICE_DOES_NOT_EXIST) X(ERROR_INSTALL_ALREADY_RUNNING)       \
  X(ERROR_INVALID_COMMAND_LINE) X(ERROR_INVALID_DATATYPE)                                         \
  X(KEY_READ) X(REG_SZ) X(REG_EXPAND_SZ)                                                          \
  X(SC_MANAGER_CONNECT) X(SERVICE_QUERY_STATUS) X(SERVICE_STOPPED)                                \
  X(GENERIC_READ) X(GENERIC_WRITE) X(FILE_SHARE_READ) X(CREATE_NEW) X(OPEN_EXISTING)              \
  X(FILE_ATTRIBUTE_DIRECTORY) X(FILE_ATTRIBUTE_NORMAL)                                            \
  X(NORMAL_PRIORITY_CLASS) X(STARTF_USESHOWWINDOW) X(SW_HIDE) X(STILL_ACTIVE) X(INFINITE)         \
  X(WAIT_OBJECT_0) X(WAIT_ABANDONED) X(WAIT_TIMEOUT) X(WAIT_FAILED)                               \
  X(MB_OK) X(MB_ICONERROR)
// clang-format on

namespace constants_check {

#define SETUP_READ_OURS(name) \
  constexpr std::uint64_t kOurs_##name = static_cast<std::uint64_t>(setup::name);
SETUP_WINDOWS_NAMED_CONSTANTS(SETUP_READ_OURS)

}  // namespace constants_check

#include <windows.h>
#include <winsvc.h>
#include <msiquery.h>

namespace constants_check {

// HKEY_CLASSES_ROOT casts to the HKEY pointer type, which no constant
// expression may do; seen through an integer HKEY it yields its value.
using HKEY = ULONG_PTR;

// Braces: a Windows value that no unsigned 64-bit integer holds fails too.
#define SETUP_CHECK_SAME_VALUE(name) static_assert(kOurs_##name == std::uint64_t{name}, #name);
SETUP_WINDOWS_NAMED_CONSTANTS(SETUP_CHECK_SAME_VALUE)

static_assert(setup::KEY_READ_WRITE == std::uint64_t{KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY},
              "KEY_READ_WRITE");
// The size is only fixed for 32-bit builds, which is all Setup.exe is.
static_assert(sizeof(void*) != 4 || setup::STARTUPINFOW_SIZE_32 == sizeof(STARTUPINFOW),
              "STARTUPINFOW_SIZE_32");

static_assert(MAX_PATH == 260, "MAX_PATH");
static_assert(setup::kMaxPath == MAX_PATH, "narrow path buffers hold MAX_PATH units");
static_assert(sizeof(setup::WideFindData::fileName) / sizeof(setup::WideChar) == MAX_PATH,
              "wide found names hold MAX_PATH units");

// Installer databases: the handle type, and the persist mode that the
// launcher's 0 stands for.
static_assert(sizeof(setup::MsiHandle) == sizeof(MSIHANDLE) && std::is_unsigned<MSIHANDLE>::value,
              "MSIHANDLE");
static_assert(MSIDBOPEN_READONLY == nullptr, "persist mode 0 is MSIDBOPEN_READONLY");

}  // namespace constants_check
