// Proves at compile time that the constants of platform.h carry the values
// Windows gives them. <windows.h> comes first here, on purpose: each value
// is captured under another name, the macro is removed, and only then is
// platform.h read. This file compiles to nothing.
#include <windows.h>
#include <winsvc.h>
#include <msiquery.h>

#include <cstdint>
#include <type_traits>

namespace windows_values {

// HKEY_CLASSES_ROOT casts to the HKEY pointer type, which no constant
// expression may do; seen through an integer HKEY it yields its value.
using HKEY = ULONG_PTR;
constexpr std::uintptr_t kHkeyClassesRoot = HKEY_CLASSES_ROOT;

constexpr std::uint32_t kErrorSuccess = ERROR_SUCCESS;
constexpr std::uint32_t kErrorFileNotFound = ERROR_FILE_NOT_FOUND;
constexpr std::uint32_t kErrorPathNotFound = ERROR_PATH_NOT_FOUND;
constexpr std::uint32_t kErrorAccessDenied = ERROR_ACCESS_DENIED;
constexpr std::uint32_t kErrorInvalidHandle = ERROR_INVALID_HANDLE;
constexpr std::uint32_t kErrorNotEnoughMemory = ERROR_NOT_ENOUGH_MEMORY;
constexpr std::uint32_t kErrorInsufficientBuffer = ERROR_INSUFFICIENT_BUFFER;
constexpr std::uint32_t kErrorMoreData = ERROR_MORE_DATA;
constexpr std::uint32_t kErrorNoMoreItems = ERROR_NO_MORE_ITEMS;
constexpr std::uint32_t kErrorInstallAlreadyRunning = ERROR_INSTALL_ALREADY_RUNNING;
constexpr std::uint32_t kErrorInstallFailure = ERROR_INSTALL_FAILURE;
constexpr std::uint32_t kErrorInvalidCommandLine = ERROR_INVALID_COMMAND_LINE;
constexpr std::uint32_t kErrorInvalidDatatype = ERROR_INVALID_DATATYPE;
constexpr std::uint32_t kErrorAlreadyExists = ERROR_ALREADY_EXISTS;
constexpr std::uint32_t kErrorFileExists = ERROR_FILE_EXISTS;
constexpr std::uint32_t kErrorServiceDoesNotExist = ERROR_SERVICE_DOES_NOT_EXIST;

constexpr std::uint32_t kKeyRead = KEY_READ;
constexpr std::uint32_t kKeySetValue = KEY_SET_VALUE;
constexpr std::uint32_t kKeyCreateSubKey = KEY_CREATE_SUB_KEY;
constexpr std::uint32_t kRegSz = REG_SZ;
constexpr std::uint32_t kRegExpandSz = REG_EXPAND_SZ;

constexpr std::uint32_t kScManagerConnect = SC_MANAGER_CONNECT;
constexpr std::uint32_t kScManagerAllAccess = SC_MANAGER_ALL_ACCESS;
constexpr std::uint32_t kServiceQueryStatus = SERVICE_QUERY_STATUS;
constexpr std::uint32_t kServiceAllAccess = SERVICE_ALL_ACCESS;
constexpr std::uint32_t kServiceStopped = SERVICE_STOPPED;
constexpr std::uint32_t kServiceStartPending = SERVICE_START_PENDING;
constexpr std::uint32_t kServiceStopPending = SERVICE_STOP_PENDING;
constexpr std::uint32_t kServiceRunning = SERVICE_RUNNING;
constexpr std::uint32_t kServiceContinuePending = SERVICE_CONTINUE_PENDING;
constexpr std::uint32_t kServicePausePending = SERVICE_PAUSE_PENDING;
constexpr std::uint32_t kServicePaused = SERVICE_PAUSED;

constexpr std::uint32_t kGenericWrite = GENERIC_WRITE;
constexpr std::uint32_t kFileShareRead = FILE_SHARE_READ;
constexpr std::uint32_t kCreateNew = CREATE_NEW;
constexpr std::uint32_t kFileAttributeNormal = FILE_ATTRIBUTE_NORMAL;
constexpr std::uint32_t kGenericRead = GENERIC_READ;
constexpr std::uint32_t kOpenExisting = OPEN_EXISTING;
constexpr std::uint32_t kFileAttributeDirectory = FILE_ATTRIBUTE_DIRECTORY;
constexpr std::uint32_t kFileFlagWriteThrough = FILE_FLAG_WRITE_THROUGH;

constexpr std::uint32_t kNormalPriorityClass = NORMAL_PRIORITY_CLASS;
constexpr std::uint32_t kStartfUseShowWindow = STARTF_USESHOWWINDOW;
constexpr std::uint16_t kSwHide = SW_HIDE;
constexpr std::uint32_t kStillActive = STILL_ACTIVE;
constexpr std::uint32_t kWaitAbandoned = WAIT_ABANDONED;
constexpr std::uint32_t kInfinite = INFINITE;
constexpr std::uint32_t kWaitObject0 = WAIT_OBJECT_0;
constexpr std::uint32_t kWaitTimeout = WAIT_TIMEOUT;
constexpr std::uint32_t kWaitFailed = WAIT_FAILED;
constexpr std::size_t kStartupInfoWSize = sizeof(STARTUPINFOW);

constexpr std::uint32_t kMbOk = MB_OK;
constexpr std::uint32_t kMbIconError = MB_ICONERROR;

constexpr std::size_t kMaxPath = MAX_PATH;

// Installer databases: the handle type, and the persist mode that the
// launcher's 0 stands for.
using MsiHandleType = MSIHANDLE;
constexpr bool kReadOnlyPersistIsZero = MSIDBOPEN_READONLY == nullptr;

}  // namespace windows_values

#undef HKEY_CLASSES_ROOT
#undef ERROR_SUCCESS
#undef ERROR_FILE_NOT_FOUND
#undef ERROR_PATH_NOT_FOUND
#undef ERROR_ACCESS_DENIED
#undef ERROR_INVALID_HANDLE
#undef ERROR_NOT_ENOUGH_MEMORY
#undef ERROR_INSUFFICIENT_BUFFER
#undef ERROR_MORE_DATA
#undef ERROR_NO_MORE_ITEMS
#undef ERROR_INSTALL_ALREADY_RUNNING
#undef ERROR_INSTALL_FAILURE
#undef ERROR_INVALID_COMMAND_LINE
#undef ERROR_INVALID_DATATYPE
#undef ERROR_ALREADY_EXISTS
#undef ERROR_FILE_EXISTS
#undef ERROR_SERVICE_DOES_NOT_EXIST
#undef KEY_READ
#undef KEY_SET_VALUE
#undef KEY_CREATE_SUB_KEY
#undef REG_SZ
#undef REG_EXPAND_SZ
#undef SC_MANAGER_CONNECT
#undef SC_MANAGER_ALL_ACCESS
#undef SERVICE_QUERY_STATUS
#undef SERVICE_ALL_ACCESS
#undef SERVICE_STOPPED
#undef SERVICE_START_PENDING
#undef SERVICE_STOP_PENDING
#undef SERVICE_RUNNING
#undef SERVICE_CONTINUE_PENDING
#undef SERVICE_PAUSE_PENDING
#undef SERVICE_PAUSED
#undef GENERIC_WRITE
#undef FILE_SHARE_READ
#undef CREATE_NEW
#undef FILE_ATTRIBUTE_NORMAL
#undef GENERIC_READ
#undef OPEN_EXISTING
#undef FILE_ATTRIBUTE_DIRECTORY
#undef FILE_FLAG_WRITE_THROUGH
#undef NORMAL_PRIORITY_CLASS
#undef STARTF_USESHOWWINDOW
#undef SW_HIDE
#undef STILL_ACTIVE
#undef INFINITE
#undef WAIT_OBJECT_0
#undef WAIT_ABANDONED
#undef WAIT_TIMEOUT
#undef WAIT_FAILED
#undef MB_OK
#undef MB_ICONERROR

#include "platform/bounded_text.h"
#include "platform/platform.h"

namespace setup {
namespace w = ::windows_values;

static_assert(static_cast<std::uintptr_t>(HKEY_CLASSES_ROOT) == w::kHkeyClassesRoot, "HKCR");

static_assert(ERROR_SUCCESS == w::kErrorSuccess, "ERROR_SUCCESS");
static_assert(ERROR_FILE_NOT_FOUND == w::kErrorFileNotFound, "ERROR_FILE_NOT_FOUND");
static_assert(ERROR_PATH_NOT_FOUND == w::kErrorPathNotFound, "ERROR_PATH_NOT_FOUND");
static_assert(ERROR_ACCESS_DENIED == w::kErrorAccessDenied, "ERROR_ACCESS_DENIED");
static_assert(ERROR_INVALID_HANDLE == w::kErrorInvalidHandle, "ERROR_INVALID_HANDLE");
static_assert(ERROR_NOT_ENOUGH_MEMORY == w::kErrorNotEnoughMemory, "ERROR_NOT_ENOUGH_MEMORY");
static_assert(ERROR_INSUFFICIENT_BUFFER == w::kErrorInsufficientBuffer,
              "ERROR_INSUFFICIENT_BUFFER");
static_assert(ERROR_MORE_DATA == w::kErrorMoreData, "ERROR_MORE_DATA");
static_assert(ERROR_NO_MORE_ITEMS == w::kErrorNoMoreItems, "ERROR_NO_MORE_ITEMS");
static_assert(ERROR_INSTALL_ALREADY_RUNNING == w::kErrorInstallAlreadyRunning,
              "ERROR_INSTALL_ALREADY_RUNNING");
static_assert(ERROR_INSTALL_FAILURE == w::kErrorInstallFailure, "ERROR_INSTALL_FAILURE");
static_assert(ERROR_INVALID_COMMAND_LINE == w::kErrorInvalidCommandLine,
              "ERROR_INVALID_COMMAND_LINE");
static_assert(ERROR_INVALID_DATATYPE == w::kErrorInvalidDatatype, "ERROR_INVALID_DATATYPE");
static_assert(ERROR_ALREADY_EXISTS == w::kErrorAlreadyExists, "ERROR_ALREADY_EXISTS");
static_assert(ERROR_FILE_EXISTS == w::kErrorFileExists, "ERROR_FILE_EXISTS");
static_assert(ERROR_SERVICE_DOES_NOT_EXIST == w::kErrorServiceDoesNotExist,
              "ERROR_SERVICE_DOES_NOT_EXIST");

static_assert(KEY_READ == w::kKeyRead, "KEY_READ");
static_assert(KEY_SET_VALUE == w::kKeySetValue, "KEY_SET_VALUE");
static_assert(KEY_CREATE_SUB_KEY == w::kKeyCreateSubKey, "KEY_CREATE_SUB_KEY");
static_assert(KEY_READ_WRITE == (w::kKeyRead | w::kKeySetValue | w::kKeyCreateSubKey),
              "KEY_READ_WRITE");
static_assert(REG_SZ == w::kRegSz, "REG_SZ");
static_assert(REG_EXPAND_SZ == w::kRegExpandSz, "REG_EXPAND_SZ");

static_assert(SC_MANAGER_CONNECT == w::kScManagerConnect, "SC_MANAGER_CONNECT");
static_assert(SC_MANAGER_ALL_ACCESS == w::kScManagerAllAccess, "SC_MANAGER_ALL_ACCESS");
static_assert(SERVICE_QUERY_STATUS == w::kServiceQueryStatus, "SERVICE_QUERY_STATUS");
static_assert(SERVICE_ALL_ACCESS == w::kServiceAllAccess, "SERVICE_ALL_ACCESS");
static_assert(SERVICE_STOPPED == w::kServiceStopped, "SERVICE_STOPPED");
static_assert(SERVICE_START_PENDING == w::kServiceStartPending, "SERVICE_START_PENDING");
static_assert(SERVICE_STOP_PENDING == w::kServiceStopPending, "SERVICE_STOP_PENDING");
static_assert(SERVICE_RUNNING == w::kServiceRunning, "SERVICE_RUNNING");
static_assert(SERVICE_CONTINUE_PENDING == w::kServiceContinuePending, "SERVICE_CONTINUE_PENDING");
static_assert(SERVICE_PAUSE_PENDING == w::kServicePausePending, "SERVICE_PAUSE_PENDING");
static_assert(SERVICE_PAUSED == w::kServicePaused, "SERVICE_PAUSED");

static_assert(GENERIC_WRITE == w::kGenericWrite, "GENERIC_WRITE");
static_assert(FILE_SHARE_READ == w::kFileShareRead, "FILE_SHARE_READ");
static_assert(CREATE_NEW == w::kCreateNew, "CREATE_NEW");
static_assert(FILE_ATTRIBUTE_NORMAL == w::kFileAttributeNormal, "FILE_ATTRIBUTE_NORMAL");
static_assert(GENERIC_READ == w::kGenericRead, "GENERIC_READ");
static_assert(OPEN_EXISTING == w::kOpenExisting, "OPEN_EXISTING");
static_assert(FILE_ATTRIBUTE_DIRECTORY == w::kFileAttributeDirectory, "FILE_ATTRIBUTE_DIRECTORY");
static_assert(FILE_FLAG_WRITE_THROUGH == w::kFileFlagWriteThrough, "FILE_FLAG_WRITE_THROUGH");

static_assert(NORMAL_PRIORITY_CLASS == w::kNormalPriorityClass, "NORMAL_PRIORITY_CLASS");
static_assert(STARTF_USESHOWWINDOW == w::kStartfUseShowWindow, "STARTF_USESHOWWINDOW");
static_assert(SW_HIDE == w::kSwHide, "SW_HIDE");
static_assert(STILL_ACTIVE == w::kStillActive, "STILL_ACTIVE");
static_assert(INFINITE == w::kInfinite, "INFINITE");
static_assert(WAIT_OBJECT_0 == w::kWaitObject0, "WAIT_OBJECT_0");
static_assert(WAIT_ABANDONED == w::kWaitAbandoned, "WAIT_ABANDONED");
static_assert(WAIT_TIMEOUT == w::kWaitTimeout, "WAIT_TIMEOUT");
static_assert(WAIT_FAILED == w::kWaitFailed, "WAIT_FAILED");
// The size is only fixed for 32-bit builds, which is all Setup.exe is.
static_assert(sizeof(void*) != 4 || STARTUPINFOW_SIZE_32 == w::kStartupInfoWSize,
              "STARTUPINFOW_SIZE_32");

static_assert(MB_OK == w::kMbOk, "MB_OK");
static_assert(MB_ICONERROR == w::kMbIconError, "MB_ICONERROR");

static_assert(w::kMaxPath == 260, "MAX_PATH");
static_assert(kMaxPath == w::kMaxPath, "narrow path buffers hold MAX_PATH units");
static_assert(sizeof(WideFindData::fileName) / sizeof(WideChar) == w::kMaxPath,
              "wide found names hold MAX_PATH units");

static_assert(sizeof(MsiHandle) == sizeof(w::MsiHandleType) &&
                  std::is_unsigned<w::MsiHandleType>::value,
              "MSIHANDLE");
static_assert(w::kReadOnlyPersistIsZero, "persist mode 0 is MSIDBOPEN_READONLY");

}  // namespace setup
