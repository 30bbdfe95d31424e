// The one seam between the launcher's logic and Windows.
//
// Every operating-system call the launcher makes is listed here, under its
// platform name and with the arguments the launcher passes. The logic never
// includes <windows.h>; it reaches the system only through a Platform. The
// Win32 implementation backs Setup.exe, the simulated machine backs the host
// tests, and any entry can be made to fail there to drive an error path.
//
// Types are portable: 32-bit status codes, opaque handles, UTF-16 as
// char16_t. Constants keep their platform names and values so that calls
// read like the Win32 calls they stand for. Windows defines the same names
// as macros, so a file that includes <windows.h> must include this header
// first and not use these constants after it.
#ifndef SETUP_PLATFORM_PLATFORM_H
#define SETUP_PLATFORM_PLATFORM_H

#include <cstdint>

namespace setup {

using Status = std::uint32_t;  // a platform error code; 0 is success
using WideChar = char16_t;     // one UTF-16 unit

// Status codes the launcher produces or tests for.
constexpr Status ERROR_SUCCESS = 0;
constexpr Status ERROR_FILE_NOT_FOUND = 2;
constexpr Status ERROR_PATH_NOT_FOUND = 3;
constexpr Status ERROR_ACCESS_DENIED = 5;
constexpr Status ERROR_INVALID_HANDLE = 6;
constexpr Status ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr Status ERROR_FILE_EXISTS = 80;
constexpr Status ERROR_ALREADY_EXISTS = 183;
constexpr Status ERROR_INSUFFICIENT_BUFFER = 122;
constexpr Status ERROR_MORE_DATA = 234;
constexpr Status ERROR_NO_MORE_ITEMS = 259;
constexpr Status ERROR_INSTALL_FAILURE = 1603;
constexpr Status ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr Status ERROR_INSTALL_ALREADY_RUNNING = 1618;
constexpr Status ERROR_INVALID_COMMAND_LINE = 1639;
constexpr Status ERROR_INVALID_DATATYPE = 1804;

// Opaque handles. Zero means "no handle" for every kind but FindHandle,
// whose failure value is INVALID_FIND_HANDLE, as on the platform.
enum class RegKey : std::uintptr_t {};
enum class ServiceHandle : std::uintptr_t {};
enum class FindHandle : std::uintptr_t {};
enum class KernelHandle : std::uintptr_t {};  // process, thread
enum class WindowHandle : std::uintptr_t {};
using MsiHandle = std::uint32_t;  // installer handles are 32-bit

constexpr RegKey HKEY_CLASSES_ROOT = RegKey{0x80000000u};
constexpr ServiceHandle NO_SERVICE_HANDLE = ServiceHandle{0};
constexpr FindHandle INVALID_FIND_HANDLE = FindHandle{~std::uintptr_t{0}};
constexpr KernelHandle NO_KERNEL_HANDLE = KernelHandle{0};
constexpr WindowHandle NO_OWNER_WINDOW = WindowHandle{0};

// Registry.
constexpr std::uint32_t KEY_READ = 0x20019;
constexpr std::uint32_t KEY_READ_WRITE = 0x2001F;  // KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;

// Services.
constexpr std::uint32_t SC_MANAGER_CONNECT = 0x0001;
constexpr std::uint32_t SERVICE_QUERY_STATUS = 0x0004;
constexpr std::uint32_t SERVICE_STOPPED = 1;

// Files (the run log).
constexpr std::uint32_t GENERIC_READ = 0x80000000u;
constexpr std::uint32_t GENERIC_WRITE = 0x40000000u;
constexpr std::uint32_t FILE_SHARE_READ = 0x1;
constexpr std::uint32_t CREATE_NEW = 1;
constexpr std::uint32_t OPEN_EXISTING = 3;
constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;

// Processes.
constexpr std::uint32_t NORMAL_PRIORITY_CLASS = 0x20;
constexpr std::uint32_t STARTF_USESHOWWINDOW = 0x1;
constexpr std::uint16_t SW_HIDE = 0;
constexpr std::uint32_t STILL_ACTIVE = 259;
constexpr std::uint32_t INFINITE = 0xFFFFFFFFu;
constexpr std::uint32_t WAIT_OBJECT_0 = 0;
constexpr std::uint32_t WAIT_ABANDONED = 0x80;
constexpr std::uint32_t WAIT_TIMEOUT = 258;
constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFFu;
constexpr std::uint32_t STARTUPINFOW_SIZE_32 = 68;  // sizeof(STARTUPINFOW), 32-bit

// User interface.
constexpr std::uint32_t MB_OK = 0x0;
constexpr std::uint32_t MB_ICONERROR = 0x10;

// What a service status query fills; the launcher reads the state only.
struct ServiceStatus {
  std::uint32_t currentState = 0;
};

// What a file search reports of one match: its attributes and its long
// name without folder (MAX_PATH units, as in WIN32_FIND_DATAW).
struct WideFindData {
  std::uint32_t attributes = 0;
  WideChar fileName[260] = {};
};

// The local time as GetLocalTime fills SYSTEMTIME (the day of the week
// left out).
struct LocalTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

// The Windows version as RtlGetVersion reports it (the real one, whatever
// the program's manifest says).
struct WindowsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

// The start-up record handed to process creation. Fields the launcher
// leaves zero (desktop, title, position, size, standard handles) are not
// carried; an implementation fills them with zero.
struct StartupInfo {
  std::uint32_t size = 0;
  std::uint32_t flags = 0;
  std::uint16_t showWindow = 0;
};

// What process creation hands back.
struct ProcessInformation {
  KernelHandle process = NO_KERNEL_HANDLE;
  KernelHandle thread = NO_KERNEL_HANDLE;
  std::uint32_t processId = 0;
  std::uint32_t threadId = 0;
};

// The inventory. Each entry behaves as its Win32 namesake does for the
// arguments the launcher passes; departures are noted per entry.
class Platform {
 public:
  virtual ~Platform() = default;

  // Process start-up -------------------------------------------------------
  // The process's full command line in UTF-16, as the process was given it.
  virtual const WideChar* GetCommandLineW() = 0;

  // Registry ---------------------------------------------------------------
  // Names and string data in UTF-16, unconverted; `size` counts bytes,
  // terminator included. `data` may be null to ask for the size only. On
  // ERROR_MORE_DATA `size` holds the size needed; data stored without a
  // terminator comes back as is.
  virtual Status RegOpenKeyExW(RegKey root, const WideChar* subKey, std::uint32_t options,
                               std::uint32_t access, RegKey* result) = 0;
  virtual Status RegQueryValueExW(RegKey key, const WideChar* valueName, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) = 0;
  virtual Status RegSetValueExW(RegKey key, const WideChar* valueName, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) = 0;
  virtual Status RegDeleteValueW(RegKey key, const WideChar* valueName) = 0;
  virtual Status RegCloseKey(RegKey key) = 0;

  // Services ---------------------------------------------------------------
  // `lastError` receives the thread's last error when the call fails (never
  // 0 then), 0 when it succeeds: ERROR_SERVICE_DOES_NOT_EXIST is the one
  // answer that means a service is not installed.
  // Null handle on failure.
  virtual ServiceHandle OpenSCManagerA(const char* machineName, const char* databaseName,
                                       std::uint32_t access, Status* lastError) = 0;
  virtual ServiceHandle OpenServiceA(ServiceHandle manager, const char* serviceName,
                                     std::uint32_t access, Status* lastError) = 0;
  // False when the query failed; the record is then not to be read.
  virtual bool QueryServiceStatus(ServiceHandle service, ServiceStatus* status,
                                  Status* lastError) = 0;
  virtual bool CloseServiceHandle(ServiceHandle handle) = 0;

  // Files and folders ------------------------------------------------------
  // Both return the length copied without the terminator; the size needed,
  // terminator included, when the buffer is too small; 0 on failure.
  // Lengths and sizes count UTF-16 units.
  virtual std::uint32_t GetCurrentDirectoryW(std::uint32_t bufferSize, WideChar* buffer) = 0;
  virtual std::uint32_t GetShortPathNameW(const WideChar* longPath, WideChar* shortPath,
                                          std::uint32_t bufferSize) = 0;
  // INVALID_FIND_HANDLE when nothing matches.
  virtual FindHandle FindFirstFileW(const WideChar* pattern, WideFindData* data) = 0;
  // The search's next match; false when there is none left (or it failed).
  virtual bool FindNextFileW(FindHandle handle, WideFindData* data) = 0;
  virtual bool FindClose(FindHandle handle) = 0;
  // The length copied without the terminator; the size needed when too small.
  virtual std::uint32_t GetSystemDirectoryW(WideChar* buffer, std::uint32_t size) = 0;
  // The number of characters copied, without the terminator.
  virtual std::uint32_t GetPrivateProfileStringW(const WideChar* section, const WideChar* key,
                                                 const WideChar* defaultValue, WideChar* buffer,
                                                 std::uint32_t size, const WideChar* fileName) = 0;

  // Processes --------------------------------------------------------------
  // No security attributes, no handle inheritance, inherited environment.
  // Returns 0 on success, else the error code of the failed start.
  virtual Status CreateProcessW(const WideChar* applicationName, WideChar* commandLine,
                                std::uint32_t creationFlags, const WideChar* currentDirectory,
                                const StartupInfo& startupInfo,
                                ProcessInformation* processInformation) = 0;
  virtual std::uint32_t WaitForSingleObject(KernelHandle handle, std::uint32_t milliseconds) = 0;
  virtual bool GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) = 0;
  virtual bool CloseHandle(KernelHandle handle) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;

  // The launcher's own file's path: the length copied without the
  // terminator; `size` when the buffer is too small (the path then cut); 0
  // on failure.
  virtual std::uint32_t GetModuleFileNameW(WideChar* buffer, std::uint32_t size) = 0;
  // The value of the environment variable `name` (its case ignored): the
  // length copied without the terminator; the size needed, terminator
  // included, when the buffer is too small; 0 when it is not defined.
  virtual std::uint32_t GetEnvironmentVariableW(const WideChar* name, WideChar* buffer,
                                                std::uint32_t size) = 0;

  // The run log ----------------------------------------------------------------
  // The length copied without the terminator, the path ending in a
  // backslash; the size needed when too small; 0 on failure.
  virtual std::uint32_t GetTempPathW(std::uint32_t bufferSize, WideChar* buffer) = 0;
  // kernel32's GetTempPath2W, bound at run time (Windows 11, and Windows 10
  // 1607 and later since the updates of March 2025; not Wine 8): the same,
  // but a SYSTEM process gets a folder only SYSTEM can write
  // (C:\Windows\SystemTemp), not one every user can create files in. 0,
  // with ERROR_PROC_NOT_FOUND as the thread's last error, where kernel32
  // lacks it.
  virtual std::uint32_t GetTempPath2W(std::uint32_t bufferSize, WideChar* buffer) = 0;
  // The Windows folder every user shares (a terminal server's too): the
  // length copied without the terminator; the size needed, terminator
  // included, when too small; 0 on failure.
  virtual std::uint32_t GetSystemWindowsDirectoryW(WideChar* buffer, std::uint32_t size) = 0;
  // CreateFileW with no security attributes and no template. A handle, or
  // NO_KERNEL_HANDLE on failure (the platform's INVALID_HANDLE_VALUE);
  // `lastError` receives the thread's last error either way
  // (ERROR_FILE_EXISTS when CREATE_NEW meets an existing name). Closed with
  // CloseHandle.
  virtual KernelHandle CreateFileW(const WideChar* fileName, std::uint32_t desiredAccess,
                                   std::uint32_t shareMode, std::uint32_t creationDisposition,
                                   std::uint32_t flagsAndAttributes, Status* lastError) = 0;
  // No overlapped read. False on failure; `read` receives the bytes read
  // (fewer than `size` at the end of the file).
  virtual bool ReadFile(KernelHandle file, std::uint8_t* data, std::uint32_t size,
                        std::uint32_t* read) = 0;
  // No overlapped write. False on failure; `written` receives the bytes
  // written.
  virtual bool WriteFile(KernelHandle file, const std::uint8_t* data, std::uint32_t size,
                         std::uint32_t* written) = 0;
  // False on failure.
  virtual bool FlushFileBuffers(KernelHandle file) = 0;
  virtual LocalTime GetLocalTime() = 0;
  // Milliseconds since the system started; wraps after 49.7 days.
  virtual std::uint32_t GetTickCount() = 0;
  virtual std::uint32_t GetCurrentProcessId() = 0;
  // ntdll's RtlGetVersion, bound at run time. 0 or an error status.
  virtual Status RtlGetVersion(WindowsVersion* version) = 0;

  // One launcher at a time --------------------------------------------------
  // CreateMutexExW, initially owned, named `name`, asking for SYNCHRONIZE
  // only, with a descriptor that lets every account wait on it: a launcher
  // of another account (a deployment tool's, as SYSTEM) then finds it
  // rather than being refused. A handle, or none; `lastError` receives the
  // thread's last error either way: ERROR_ALREADY_EXISTS when another
  // process made it first (it is then not owned), ERROR_ACCESS_DENIED when
  // it exists and its descriptor refuses us (an older launcher's, of
  // another account).
  virtual KernelHandle CreateMutexExW(const WideChar* name, Status* lastError) = 0;
  // OpenMutexW for SYNCHRONIZE and MUTEX_MODIFY_STATE (enough to wait on it
  // and release it), not inherited. A handle, or none; `lastError` receives
  // the thread's last error either way (ERROR_FILE_NOT_FOUND when no mutex
  // has the name, ERROR_ACCESS_DENIED when its descriptor refuses us).
  virtual KernelHandle OpenMutexW(const WideChar* name, Status* lastError) = 0;
  // False on failure (a mutex the caller does not own).
  virtual bool ReleaseMutex(KernelHandle mutex) = 0;

  // User interface and locale ----------------------------------------------
  // kernel32's ProcessIdToSessionId: the Remote Desktop session the process
  // runs in; session 0 holds the services (and SYSTEM under a deployment
  // tool), whose window station nobody sees even where it reports itself
  // visible. 0, or the thread's last error (never 0) when it fails.
  virtual Status ProcessIdToSessionId(std::uint32_t processId, std::uint32_t* sessionId) = 0;
  // GetProcessWindowStation with GetUserObjectInformationW(UOI_FLAGS): false
  // only when the process's window station is known to be invisible (a
  // service, or SYSTEM in session 0), where a message box would wait for
  // ever for a click nobody can make.
  virtual bool ProcessWindowStationIsVisible() = 0;
  virtual int MessageBoxW(WindowHandle owner, const WideChar* text, const WideChar* caption,
                          std::uint32_t style) = 0;
  virtual std::uint16_t GetSystemDefaultLangID() = 0;

  // Installer databases (msi.dll, reached by ordinal) ---------------------
  // Texts in UTF-16; every call returns 0 or an error.
  // `persistMode` 0 opens read-only.
  virtual Status MsiOpenDatabaseW(const WideChar* databasePath, std::uint32_t persistMode,
                                  MsiHandle* database) = 0;
  virtual Status MsiDatabaseOpenViewW(MsiHandle database, const WideChar* query,
                                      MsiHandle* view) = 0;
  // `parameters` 0: no parameter record.
  virtual Status MsiViewExecute(MsiHandle view, MsiHandle parameters) = 0;
  // Any status but 0 means no record was obtained.
  virtual Status MsiViewFetch(MsiHandle view, MsiHandle* record) = 0;
  // `count`: the buffer's capacity in units on entry, the text's length on
  // return; ERROR_MORE_DATA when the buffer is too small.
  virtual Status MsiRecordGetStringW(MsiHandle record, std::uint32_t field, WideChar* buffer,
                                     std::uint32_t* count) = 0;
  // Closes a database, view or record handle.
  virtual Status MsiCloseHandle(MsiHandle handle) = 0;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_PLATFORM_H
