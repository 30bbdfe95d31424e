// The platform seam backed by Windows: what Setup.exe runs on.
//
// Every entry calls its Win32 namesake. The registry, service and message
// box entries live in advapi32 and user32, which Setup.exe does not import:
// a static import would let the loader pick a planted copy from the
// program's folder before any of our code runs. They are bound at run time
// from DLLs loaded from the system folder: advapi32's at construction, since
// every run reads the registry; user32's on the first window-station or
// message-box call, since loading user32 is slow and most runs never show a
// box. RtlGetVersion is bound from ntdll at construction too: ntdll is in
// every process already, so that costs next to nothing, and it keeps ntdll
// out of Setup.exe's imports. GetTempPath2W is bound from kernel32 at
// construction, as older systems and Wine lack it. An entry that could not
// be bound fails as its namesake fails (an error status, a null handle,
// false or 0) and never crashes. The installer-database entries come from
// msi.dll, by ordinal, bound on the first installer call: loading msi.dll
// is slow, and most runs end before they need it. This header stays free
// of <windows.h>.
#ifndef SETUP_PLATFORM_WIN32_WIN32_PLATFORM_H
#define SETUP_PLATFORM_WIN32_WIN32_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace setup {

// The entries bound at run time, a row each: the DLL each comes from, its
// name, and for msi.dll's the ordinal it is bound by (0: by name only).
// clang-format off
#define SETUP_RUNTIME_ENTRIES(X)                                                   \
  X(Advapi32, RegOpenKeyExW, 0)                                                    \
  X(Advapi32, RegQueryValueExW, 0)                                                 \
  X(Advapi32, RegSetValueExW, 0)                                                   \
  X(Advapi32, RegDeleteValueW, 0)                                                  \
  X(Advapi32, RegCloseKey, 0)                                                      \
  X(Advapi32, OpenSCManagerA, 0)                                                   \
  X(Advapi32, OpenServiceA, 0)                                                     \
  X(Advapi32, QueryServiceStatus, 0)                                               \
  X(Advapi32, CloseServiceHandle, 0)                                               \
  X(User32, MessageBoxW, 0)                                                        \
  X(User32, GetProcessWindowStation, 0)                                            \
  X(User32, GetUserObjectInformationW, 0)                                          \
  X(Ntdll, RtlGetVersion, 0)                                                       \
  X(Advapi32, ConvertStringSecurityDescriptorToSecurityDescriptorW, 0)             \
  X(Kernel32, GetTempPath2W, 0)                                                    \
  X(Msi, MsiOpenDatabaseW, 92)                                                     \
  X(Msi, MsiDatabaseOpenViewW, 32)                                                 \
  X(Msi, MsiRecordGetStringW, 118)                                                 \
  X(Msi, MsiViewExecute, 159)                                                      \
  X(Msi, MsiViewFetch, 160)                                                        \
  X(Msi, MsiCloseHandle, 8)
// clang-format on
#define SETUP_RUNTIME_ENTRY_NAME(library, name, ordinal) name,

class Win32Platform final : public Platform {
 public:
  enum class RuntimeEntry : std::uint8_t { SETUP_RUNTIME_ENTRIES(SETUP_RUNTIME_ENTRY_NAME) };
  static constexpr std::size_t kRuntimeEntryCount = 21;

  // Loads advapi32, ntdll and kernel32 from the system folder and binds their
  // entries; user32's and msi.dll's wait for their first use.
  Win32Platform();

  // Setup.exe keeps its platform on the stack, yet the virtual destructor
  // names a deallocation function. The C runtime's, named here, keeps the
  // standard library's out of Setup.exe, and with it the unwind tables that
  // take a file section of their own.
  static void* operator new(std::size_t size) noexcept { return std::malloc(size); }
  static void operator delete(void* object) { std::free(object); }

  // True when `entry` has been bound (when each is: see above). An entry
  // that is not bound when called fails.
  bool is_bound(RuntimeEntry entry) const;

  // Binds the installer entries from `libraryName`, loaded from the system
  // folder, as the first installer call does with msi.dll: by ordinal, each
  // checked against its name, all or none. Only the first binding counts,
  // failed or not; later calls return its status: 0 when all are bound,
  // else the DLL's load error, ERROR_PROC_NOT_FOUND (127) when it lacks an
  // ordinal, or ERROR_INVALID_ORDINAL (182) when an ordinal and its
  // function's name give different addresses. Tests name other DLLs, or
  // give a table of their own, to reach the failure paths.
  Status BindInstaller(const wchar_t* libraryName);
  Status BindInstaller(const ExportTable& exports);

  // Platform: see platform.h. Unbound runtime entries report
  // ERROR_PROC_NOT_FOUND (as status or as the thread's last error).
  const WideChar* GetCommandLineW() override;

  Status RegOpenKeyExW(RegKey root, const WideChar* subKey, std::uint32_t options,
                       std::uint32_t access, RegKey* result) override;
  Status RegQueryValueExW(RegKey key, const WideChar* valueName, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override;
  Status RegSetValueExW(RegKey key, const WideChar* valueName, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override;
  Status RegDeleteValueW(RegKey key, const WideChar* valueName) override;
  Status RegCloseKey(RegKey key) override;

  ServiceHandle OpenSCManagerA(const char* machineName, const char* databaseName,
                               std::uint32_t access, Status* lastError) override;
  ServiceHandle OpenServiceA(ServiceHandle manager, const char* serviceName, std::uint32_t access,
                             Status* lastError) override;
  bool QueryServiceStatus(ServiceHandle service, ServiceStatus* status, Status* lastError) override;
  bool CloseServiceHandle(ServiceHandle handle) override;

  std::uint32_t GetCurrentDirectoryW(std::uint32_t bufferSize, WideChar* buffer) override;
  std::uint32_t GetShortPathNameW(const WideChar* longPath, WideChar* shortPath,
                                  std::uint32_t bufferSize) override;
  FindHandle FindFirstFileW(const WideChar* pattern, WideFindData* data) override;
  bool FindNextFileW(FindHandle handle, WideFindData* data) override;
  bool FindClose(FindHandle handle) override;
  std::uint32_t GetSystemDirectoryW(WideChar* buffer, std::uint32_t size) override;
  std::uint32_t GetPrivateProfileStringW(const WideChar* section, const WideChar* key,
                                         const WideChar* defaultValue, WideChar* buffer,
                                         std::uint32_t size, const WideChar* fileName) override;

  Status CreateProcessW(const WideChar* applicationName, WideChar* commandLine,
                        std::uint32_t creationFlags, const WideChar* currentDirectory,
                        const StartupInfo& startupInfo,
                        ProcessInformation* processInformation) override;
  std::uint32_t WaitForSingleObject(KernelHandle handle, std::uint32_t milliseconds) override;
  bool GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) override;
  bool CloseHandle(KernelHandle handle) override;
  void Sleep(std::uint32_t milliseconds) override;

  std::uint32_t GetModuleFileNameW(WideChar* buffer, std::uint32_t size) override;
  std::uint32_t GetEnvironmentVariableW(const WideChar* name, WideChar* buffer,
                                        std::uint32_t size) override;
  std::uint32_t GetTempPathW(std::uint32_t bufferSize, WideChar* buffer) override;
  std::uint32_t GetTempPath2W(std::uint32_t bufferSize, WideChar* buffer) override;
  std::uint32_t GetSystemWindowsDirectoryW(WideChar* buffer, std::uint32_t size) override;
  KernelHandle CreateFileW(const WideChar* fileName, std::uint32_t desiredAccess,
                           std::uint32_t shareMode, std::uint32_t creationDisposition,
                           std::uint32_t flagsAndAttributes, Status* lastError) override;
  bool ReadFile(KernelHandle file, std::uint8_t* data, std::uint32_t size,
                std::uint32_t* read) override;
  bool WriteFile(KernelHandle file, const std::uint8_t* data, std::uint32_t size,
                 std::uint32_t* written) override;
  LocalTime GetLocalTime() override;
  std::uint32_t GetTickCount() override;
  std::uint32_t GetCurrentProcessId() override;
  // ERROR_INVALID_PARAMETER for a null record; ERROR_GEN_FAILURE should the
  // call itself fail, which it does not for a well-formed record.
  Status RtlGetVersion(WindowsVersion* version) override;

  KernelHandle CreateMutexExW(const WideChar* name, Status* lastError) override;
  KernelHandle OpenMutexW(const WideChar* name, Status* lastError) override;
  bool FlushFileBuffers(KernelHandle file) override;
  bool ReleaseMutex(KernelHandle mutex) override;
  // ERROR_INVALID_PARAMETER for a null `sessionId`.
  Status ProcessIdToSessionId(std::uint32_t processId, std::uint32_t* sessionId) override;
  bool ProcessWindowStationIsVisible() override;
  int MessageBoxW(WindowHandle owner, const WideChar* text, const WideChar* caption,
                  std::uint32_t style) override;
  std::uint16_t GetSystemDefaultLangID() override;

  // Each of these first binds msi.dll when no installer call has yet. While
  // the binding's status is not 0 they return it, call nothing, and set
  // the handle they would hand out to 0.
  Status MsiViewExecute(MsiHandle view, MsiHandle parameters) override;
  Status MsiViewFetch(MsiHandle view, MsiHandle* record) override;
  Status MsiOpenDatabaseW(const WideChar* databasePath, std::uint32_t persistMode,
                          MsiHandle* database) override;
  Status MsiDatabaseOpenViewW(MsiHandle database, const WideChar* query, MsiHandle* view) override;
  Status MsiRecordGetStringW(MsiHandle record, std::uint32_t field, WideChar* buffer,
                             std::uint32_t* count) override;
  Status MsiCloseHandle(MsiHandle handle) override;

 private:
  // The bound address of `entry` cast to its real type; null when unbound.
  template <typename Function>
  Function entry(RuntimeEntry which) const {
    return reinterpret_cast<Function>(entries_[static_cast<std::size_t>(which)]);
  }

  // Loads user32 and binds its entries on the first call; later calls do
  // nothing, whether that load succeeded or not.
  void BindUser32OnFirstUse();
  // BindInstaller(L"msi.dll"): what every installer call does first.
  Status BindMsiOnFirstUse();

  SystemLibrary advapi32_;
  SystemLibrary ntdll_;
  SystemLibrary kernel32_;
  // Empty until first used. Members, not statics: nothing runs the C
  // runtime's exit handlers.
  std::optional<SystemLibrary> user32_;
  std::optional<SystemLibrary> msi_;
  std::optional<Status> installerStatus_;  // the first binding's
  SystemLibrary::ExportAddress entries_[kRuntimeEntryCount] = {};
};

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_WIN32_PLATFORM_H
