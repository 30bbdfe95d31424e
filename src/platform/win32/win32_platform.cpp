// platform.h (via win32_platform.h) comes before <windows.h>, whose macros
// share its constant names; none of those names is used below.
#include "platform/win32/win32_platform.h"

#include <windows.h>
// Declarations only, for the installer functions' exact types: nothing here
// links against msi.dll.
#include <msiquery.h>
#include <sddl.h>
#include <winsvc.h>

namespace setup {
namespace {

static_assert(sizeof(wchar_t) == sizeof(WideChar), "Windows text is UTF-16");
static_assert(sizeof(WideFindData::fileName) == sizeof(WIN32_FIND_DATAW::cFileName),
              "a found name is copied whole");
static_assert(sizeof(LocalTime::year) == sizeof(SYSTEMTIME::wYear) &&
                  sizeof(LocalTime::milliseconds) == sizeof(SYSTEMTIME::wMilliseconds),
              "local time fields are copied whole");
static_assert(sizeof(WindowsVersion::major) == sizeof(OSVERSIONINFOW::dwMajorVersion) &&
                  sizeof(WindowsVersion::build) == sizeof(OSVERSIONINFOW::dwBuildNumber),
              "version fields are copied whole");
static_assert(sizeof(KernelHandle) == sizeof(HANDLE), "kernel handles cross the seam whole");
static_assert(sizeof(MSIHANDLE) == sizeof(MsiHandle), "installer handles are 32-bit");
static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "character counts are 32-bit");

// ntdll's RtlGetVersion, which no SDK header here declares. It returns an
// NTSTATUS, 0 on success.
using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
// kernel32's GetTempPath2W, which the SDK headers here do not declare.
using GetTempPath2WFunction = DWORD(WINAPI*)(DWORD, LPWSTR);

enum class SourceLibrary : std::uint8_t { Advapi32, User32, Ntdll, Kernel32, Msi };

// Where a runtime entry comes from.
struct RuntimeExport {
  SourceLibrary library;
  std::uint16_t ordinal;  // msi.dll's; 0 for an entry bound by name only
  const char* name;
};

// In RuntimeEntry order, from the same rows.
#define SETUP_RUNTIME_EXPORT(library, name, ordinal) {SourceLibrary::library, ordinal, #name},
constexpr RuntimeExport kRuntimeExports[] = {SETUP_RUNTIME_ENTRIES(SETUP_RUNTIME_EXPORT)};
static_assert(sizeof kRuntimeExports / sizeof kRuntimeExports[0] ==
                  Win32Platform::kRuntimeEntryCount,
              "one export per runtime entry");

// Handles cross the seam as integers of pointer width.
template <typename Native, typename Portable>
Native ToNative(Portable handle) {
  return reinterpret_cast<Native>(static_cast<std::uintptr_t>(handle));
}

template <typename Portable, typename Native>
Portable ToPortable(Native handle) {
  return static_cast<Portable>(reinterpret_cast<std::uintptr_t>(handle));
}

const wchar_t* ToWide(const WideChar* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* ToWide(WideChar* text) { return reinterpret_cast<wchar_t*>(text); }

// What an unbound entry answers through the thread's last error.
constexpr DWORD kUnboundError = ERROR_PROC_NOT_FOUND;

// The thread's last error after a call that failed; a failure that left it
// 0 must not read as success.
DWORD FailureError() {
  const DWORD error = ::GetLastError();
  return error != NO_ERROR ? error : static_cast<DWORD>(ERROR_GEN_FAILURE);
}

// What an unbound entry returns: `failed`, with kUnboundError as the
// thread's last error.
template <typename Result>
Result Unbound(Result failed) {
  ::SetLastError(kUnboundError);
  return failed;
}

// Reports `error` as the thread's last error and through `lastError`.
bool Failed(DWORD error, Status* lastError) {
  ::SetLastError(error);
  if (lastError != nullptr) *lastError = error;
  return false;
}

void SetSuccess(Status* lastError) {
  if (lastError != nullptr) *lastError = 0;
}

ServiceHandle NoServiceHandle(DWORD error, Status* lastError) {
  static_cast<void>(Failed(error, lastError));  // the null handle says it failed
  return NO_SERVICE_HANDLE;
}

void CopyFoundName(const WIN32_FIND_DATAW& found, WideFindData* data) {
  constexpr std::size_t kUnits = sizeof data->fileName / sizeof data->fileName[0];
  data->attributes = found.dwFileAttributes;
  for (std::size_t i = 0; i < kUnits; ++i) {
    data->fileName[i] = static_cast<WideChar>(found.cFileName[i]);
  }
  data->fileName[kUnits - 1] = u'\0';
}

// An opened service manager or service as the seam carries it.
ServiceHandle OpenedService(SC_HANDLE handle, Status* lastError) {
  if (handle == nullptr) return NoServiceHandle(FailureError(), lastError);
  SetSuccess(lastError);
  return ToPortable<ServiceHandle>(handle);
}

// Binds every entry of `source` from `exports`, that DLL's. Entries with an
// ordinal are bound all or none: a DLL lacking one of them is not the
// installer DLL, and none of its exports is to be called. Returns 0,
// ERROR_PROC_NOT_FOUND or ERROR_INVALID_ORDINAL.
Status BindEntries(SourceLibrary source, const ExportTable& exports,
                   ExportTable::ExportAddress (&entries)[Win32Platform::kRuntimeEntryCount]) {
  ExportTable::ExportAddress found[Win32Platform::kRuntimeEntryCount] = {};
  for (std::size_t index = 0; index < Win32Platform::kRuntimeEntryCount; ++index) {
    const RuntimeExport& runtimeExport = kRuntimeExports[index];
    if (runtimeExport.library != source) continue;
    ExportTable::ExportAddress& address = found[index];
    if (runtimeExport.ordinal == 0) {
      address = exports.resolve(runtimeExport.name);
      continue;
    }
    address = exports.resolve_ordinal(runtimeExport.ordinal);
    if (address == nullptr) return ERROR_PROC_NOT_FOUND;
    // The ordinals are the DLL's long-standing ones, but only the names are
    // documented: a DLL that numbers its exports otherwise would have this
    // code call one function with another's arguments. A DLL that exports
    // the function by ordinal only is taken at its ordinal.
    const ExportTable::ExportAddress named = exports.resolve(runtimeExport.name);
    if (named != nullptr && named != address) return ERROR_INVALID_ORDINAL;
  }
  for (std::size_t index = 0; index < Win32Platform::kRuntimeEntryCount; ++index) {
    if (kRuntimeExports[index].library == source) entries[index] = found[index];
  }
  return 0;
}

}  // namespace

Win32Platform::Win32Platform()
    : advapi32_(L"advapi32.dll"), ntdll_(L"ntdll.dll"), kernel32_(L"kernel32.dll") {
  // Entries bound by name: nothing fails as a whole.
  static_cast<void>(BindEntries(SourceLibrary::Advapi32, advapi32_, entries_));
  static_cast<void>(BindEntries(SourceLibrary::Ntdll, ntdll_, entries_));
  static_cast<void>(BindEntries(SourceLibrary::Kernel32, kernel32_, entries_));
}

void Win32Platform::BindUser32OnFirstUse() {
  if (user32_.has_value()) return;
  static_cast<void>(BindEntries(SourceLibrary::User32, user32_.emplace(L"user32.dll"), entries_));
}

Status Win32Platform::BindInstaller(const wchar_t* libraryName) {
  if (installerStatus_.has_value()) return *installerStatus_;
  const SystemLibrary& library = msi_.emplace(libraryName);
  if (!library.loaded()) {
    installerStatus_ = library.load_error();
    return *installerStatus_;
  }
  return BindInstaller(library);
}

Status Win32Platform::BindMsiOnFirstUse() { return BindInstaller(L"msi.dll"); }

Status Win32Platform::BindInstaller(const ExportTable& exports) {
  if (!installerStatus_.has_value()) {
    installerStatus_ = BindEntries(SourceLibrary::Msi, exports, entries_);
  }
  return *installerStatus_;
}

bool Win32Platform::is_bound(RuntimeEntry which) const {
  const auto index = static_cast<std::size_t>(which);
  return index < kRuntimeEntryCount && entries_[index] != nullptr;
}

const WideChar* Win32Platform::GetCommandLineW() {
  return reinterpret_cast<const WideChar*>(::GetCommandLineW());
}

// Registry ---------------------------------------------------------------

Status Win32Platform::RegOpenKeyExW(RegKey root, const WideChar* subKey, std::uint32_t options,
                                    std::uint32_t access, RegKey* result) {
  const auto open = entry<decltype(&::RegOpenKeyExW)>(RuntimeEntry::RegOpenKeyExW);
  if (open == nullptr) return kUnboundError;
  HKEY opened = nullptr;
  const LSTATUS status = open(ToNative<HKEY>(root), ToWide(subKey), options, access,
                              result != nullptr ? &opened : nullptr);
  if (result != nullptr) *result = ToPortable<RegKey>(opened);
  return static_cast<Status>(status);
}

Status Win32Platform::RegQueryValueExW(RegKey key, const WideChar* valueName, std::uint32_t* type,
                                       std::uint8_t* data, std::uint32_t* size) {
  const auto query = entry<decltype(&::RegQueryValueExW)>(RuntimeEntry::RegQueryValueExW);
  if (query == nullptr) return kUnboundError;
  DWORD valueType = 0;
  DWORD valueSize = size != nullptr ? *size : 0;
  const LSTATUS status =
      query(ToNative<HKEY>(key), ToWide(valueName), nullptr, type != nullptr ? &valueType : nullptr,
            data, size != nullptr ? &valueSize : nullptr);
  if (type != nullptr) *type = valueType;
  if (size != nullptr) *size = valueSize;
  return static_cast<Status>(status);
}

Status Win32Platform::RegSetValueExW(RegKey key, const WideChar* valueName, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t size) {
  const auto set = entry<decltype(&::RegSetValueExW)>(RuntimeEntry::RegSetValueExW);
  if (set == nullptr) return kUnboundError;
  return static_cast<Status>(set(ToNative<HKEY>(key), ToWide(valueName), 0, type, data, size));
}

Status Win32Platform::RegDeleteValueW(RegKey key, const WideChar* valueName) {
  const auto remove = entry<decltype(&::RegDeleteValueW)>(RuntimeEntry::RegDeleteValueW);
  if (remove == nullptr) return kUnboundError;
  return static_cast<Status>(remove(ToNative<HKEY>(key), ToWide(valueName)));
}

Status Win32Platform::RegCloseKey(RegKey key) {
  const auto close = entry<decltype(&::RegCloseKey)>(RuntimeEntry::RegCloseKey);
  if (close == nullptr) return kUnboundError;
  return static_cast<Status>(close(ToNative<HKEY>(key)));
}

// Services ---------------------------------------------------------------

ServiceHandle Win32Platform::OpenSCManagerA(const char* machineName, const char* databaseName,
                                            std::uint32_t access, Status* lastError) {
  const auto open = entry<decltype(&::OpenSCManagerA)>(RuntimeEntry::OpenSCManagerA);
  if (open == nullptr) return NoServiceHandle(kUnboundError, lastError);
  return OpenedService(open(machineName, databaseName, access), lastError);
}

ServiceHandle Win32Platform::OpenServiceA(ServiceHandle manager, const char* serviceName,
                                          std::uint32_t access, Status* lastError) {
  const auto open = entry<decltype(&::OpenServiceA)>(RuntimeEntry::OpenServiceA);
  if (open == nullptr) return NoServiceHandle(kUnboundError, lastError);
  return OpenedService(open(ToNative<SC_HANDLE>(manager), serviceName, access), lastError);
}

bool Win32Platform::QueryServiceStatus(ServiceHandle service, ServiceStatus* status,
                                       Status* lastError) {
  const auto query = entry<decltype(&::QueryServiceStatus)>(RuntimeEntry::QueryServiceStatus);
  if (query == nullptr) return Failed(kUnboundError, lastError);
  if (status == nullptr) return Failed(ERROR_INVALID_PARAMETER, lastError);
  SERVICE_STATUS serviceStatus{};
  if (query(ToNative<SC_HANDLE>(service), &serviceStatus) == FALSE) {
    return Failed(FailureError(), lastError);
  }
  status->currentState = serviceStatus.dwCurrentState;
  SetSuccess(lastError);
  return true;
}

bool Win32Platform::CloseServiceHandle(ServiceHandle handle) {
  const auto close = entry<decltype(&::CloseServiceHandle)>(RuntimeEntry::CloseServiceHandle);
  if (close == nullptr) return Unbound(false);
  return close(ToNative<SC_HANDLE>(handle)) != FALSE;
}

// Files and folders ------------------------------------------------------

std::uint32_t Win32Platform::GetCurrentDirectoryW(std::uint32_t bufferSize, WideChar* buffer) {
  return ::GetCurrentDirectoryW(bufferSize, ToWide(buffer));
}

std::uint32_t Win32Platform::GetShortPathNameW(const WideChar* longPath, WideChar* shortPath,
                                               std::uint32_t bufferSize) {
  return ::GetShortPathNameW(ToWide(longPath), ToWide(shortPath), bufferSize);
}

FindHandle Win32Platform::FindFirstFileW(const WideChar* pattern, WideFindData* data) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(ToWide(pattern), &found);
  // INVALID_HANDLE_VALUE maps onto INVALID_FIND_HANDLE: both are all ones.
  if (search != INVALID_HANDLE_VALUE && data != nullptr) CopyFoundName(found, data);
  return ToPortable<FindHandle>(search);
}

bool Win32Platform::FindNextFileW(FindHandle handle, WideFindData* data) {
  WIN32_FIND_DATAW found{};
  if (::FindNextFileW(ToNative<HANDLE>(handle), &found) == FALSE) return false;
  if (data != nullptr) CopyFoundName(found, data);
  return true;
}

bool Win32Platform::FindClose(FindHandle handle) {
  return ::FindClose(ToNative<HANDLE>(handle)) != FALSE;
}

std::uint32_t Win32Platform::GetSystemDirectoryW(WideChar* buffer, std::uint32_t size) {
  return ::GetSystemDirectoryW(ToWide(buffer), size);
}

std::uint32_t Win32Platform::GetPrivateProfileStringW(const WideChar* section, const WideChar* key,
                                                      const WideChar* defaultValue,
                                                      WideChar* buffer, std::uint32_t size,
                                                      const WideChar* fileName) {
  return ::GetPrivateProfileStringW(ToWide(section), ToWide(key), ToWide(defaultValue),
                                    ToWide(buffer), size, ToWide(fileName));
}

// Processes --------------------------------------------------------------

Status Win32Platform::CreateProcessW(const WideChar* applicationName, WideChar* commandLine,
                                     std::uint32_t creationFlags, const WideChar* currentDirectory,
                                     const StartupInfo& startupInfo,
                                     ProcessInformation* processInformation) {
  STARTUPINFOW startup{};
  startup.cb = startupInfo.size;
  startup.dwFlags = startupInfo.flags;
  startup.wShowWindow = startupInfo.showWindow;
  PROCESS_INFORMATION started{};
  if (::CreateProcessW(ToWide(applicationName), ToWide(commandLine), nullptr, nullptr, FALSE,
                       creationFlags, nullptr, ToWide(currentDirectory), &startup,
                       &started) == FALSE) {
    return FailureError();
  }
  if (processInformation == nullptr) {
    // Nobody will own the handles: do not leak them.
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return 0;
  }
  processInformation->process = ToPortable<KernelHandle>(started.hProcess);
  processInformation->thread = ToPortable<KernelHandle>(started.hThread);
  processInformation->processId = started.dwProcessId;
  processInformation->threadId = started.dwThreadId;
  return 0;
}

std::uint32_t Win32Platform::WaitForSingleObject(KernelHandle handle, std::uint32_t milliseconds) {
  return ::WaitForSingleObject(ToNative<HANDLE>(handle), milliseconds);
}

bool Win32Platform::GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) {
  DWORD code = 0;
  if (::GetExitCodeProcess(ToNative<HANDLE>(process), &code) == FALSE) return false;
  if (exitCode != nullptr) *exitCode = code;
  return true;
}

bool Win32Platform::CloseHandle(KernelHandle handle) {
  return ::CloseHandle(ToNative<HANDLE>(handle)) != FALSE;
}

void Win32Platform::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

// The run log --------------------------------------------------------------

std::uint32_t Win32Platform::GetModuleFileNameW(WideChar* buffer, std::uint32_t size) {
  return ::GetModuleFileNameW(nullptr, ToWide(buffer), size);
}

std::uint32_t Win32Platform::GetEnvironmentVariableW(const WideChar* name, WideChar* buffer,
                                                     std::uint32_t size) {
  return ::GetEnvironmentVariableW(ToWide(name), ToWide(buffer), size);
}

std::uint32_t Win32Platform::GetTempPathW(std::uint32_t bufferSize, WideChar* buffer) {
  return ::GetTempPathW(bufferSize, ToWide(buffer));
}

std::uint32_t Win32Platform::GetTempPath2W(std::uint32_t bufferSize, WideChar* buffer) {
  const auto query = entry<GetTempPath2WFunction>(RuntimeEntry::GetTempPath2W);
  if (query == nullptr) return Unbound<std::uint32_t>(0);
  return query(bufferSize, ToWide(buffer));
}

std::uint32_t Win32Platform::GetSystemWindowsDirectoryW(WideChar* buffer, std::uint32_t size) {
  return ::GetSystemWindowsDirectoryW(ToWide(buffer), size);
}

KernelHandle Win32Platform::CreateFileW(const WideChar* fileName, std::uint32_t desiredAccess,
                                        std::uint32_t shareMode, std::uint32_t creationDisposition,
                                        std::uint32_t flagsAndAttributes, Status* lastError) {
  const HANDLE file = ::CreateFileW(ToWide(fileName), desiredAccess, shareMode, nullptr,
                                    creationDisposition, flagsAndAttributes, nullptr);
  if (lastError != nullptr) *lastError = ::GetLastError();
  // A file handle is never null, so null can stand for the failure value.
  if (file == INVALID_HANDLE_VALUE) return NO_KERNEL_HANDLE;
  return ToPortable<KernelHandle>(file);
}

bool Win32Platform::ReadFile(KernelHandle file, std::uint8_t* data, std::uint32_t size,
                             std::uint32_t* read) {
  DWORD done = 0;
  const BOOL ok = ::ReadFile(ToNative<HANDLE>(file), data, size, &done, nullptr);
  if (read != nullptr) *read = done;
  return ok != FALSE;
}

bool Win32Platform::WriteFile(KernelHandle file, const std::uint8_t* data, std::uint32_t size,
                              std::uint32_t* written) {
  // The count must be given whenever the write is not overlapped.
  DWORD done = 0;
  const BOOL wrote = ::WriteFile(ToNative<HANDLE>(file), data, size, &done, nullptr);
  if (written != nullptr) *written = done;
  return wrote != FALSE;
}

LocalTime Win32Platform::GetLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

std::uint32_t Win32Platform::GetTickCount() { return ::GetTickCount(); }

std::uint32_t Win32Platform::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

Status Win32Platform::RtlGetVersion(WindowsVersion* version) {
  const auto query = entry<RtlGetVersionFunction>(RuntimeEntry::RtlGetVersion);
  if (query == nullptr) return kUnboundError;
  if (version == nullptr) return ERROR_INVALID_PARAMETER;
  OSVERSIONINFOW reported{};
  reported.dwOSVersionInfoSize = sizeof reported;
  // Its only failure is a malformed record; 0 must never stand for one.
  if (query(&reported) != 0) return ERROR_GEN_FAILURE;
  *version = {reported.dwMajorVersion, reported.dwMinorVersion, reported.dwBuildNumber};
  return 0;
}

// User interface and locale ----------------------------------------------

// Who may open the launcher mutex: SYSTEM and administrators fully, every
// account to wait on it. Under the creator's default descriptor a launcher
// started by a deployment tool as SYSTEM would refuse an administrator's,
// whose create then fails with access denied instead of finding it.
constexpr wchar_t kLauncherMutexDescriptor[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;WD)";

KernelHandle Win32Platform::CreateMutexExW(const WideChar* name, Status* lastError) {
  const auto convert = entry<decltype(&::ConvertStringSecurityDescriptorToSecurityDescriptorW)>(
      RuntimeEntry::ConvertStringSecurityDescriptorToSecurityDescriptorW);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (convert == nullptr ||
      convert(kLauncherMutexDescriptor, SDDL_REVISION_1, &descriptor, nullptr) == FALSE) {
    descriptor = nullptr;  // the creator's default: the same account still finds it
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const HANDLE mutex = ::CreateMutexExW(descriptor != nullptr ? &attributes : nullptr, ToWide(name),
                                        CREATE_MUTEX_INITIAL_OWNER, SYNCHRONIZE);
  const DWORD error = ::GetLastError();
  if (descriptor != nullptr) static_cast<void>(::LocalFree(descriptor));
  if (lastError != nullptr) *lastError = error;
  return ToPortable<KernelHandle>(mutex);
}

bool Win32Platform::FlushFileBuffers(KernelHandle file) {
  return ::FlushFileBuffers(ToNative<HANDLE>(file)) != FALSE;
}

KernelHandle Win32Platform::OpenMutexW(const WideChar* name, Status* lastError) {
  const HANDLE mutex = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, ToWide(name));
  if (lastError != nullptr) *lastError = ::GetLastError();
  return ToPortable<KernelHandle>(mutex);
}

bool Win32Platform::ReleaseMutex(KernelHandle mutex) {
  return ::ReleaseMutex(ToNative<HANDLE>(mutex)) != FALSE;
}

Status Win32Platform::ProcessIdToSessionId(std::uint32_t processId, std::uint32_t* sessionId) {
  if (sessionId == nullptr) return ERROR_INVALID_PARAMETER;
  DWORD session = 0;
  if (::ProcessIdToSessionId(processId, &session) == FALSE) return FailureError();
  *sessionId = session;
  return 0;
}

bool Win32Platform::ProcessWindowStationIsVisible() {
  BindUser32OnFirstUse();
  const auto station =
      entry<decltype(&::GetProcessWindowStation)>(RuntimeEntry::GetProcessWindowStation);
  const auto information =
      entry<decltype(&::GetUserObjectInformationW)>(RuntimeEntry::GetUserObjectInformationW);
  // Without an answer the box is shown, as it always was.
  if (station == nullptr || information == nullptr) return true;
  const HWINSTA windowStation = station();
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (windowStation == nullptr ||
      information(windowStation, UOI_FLAGS, &flags, sizeof flags, &needed) == FALSE) {
    return true;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

int Win32Platform::MessageBoxW(WindowHandle owner, const WideChar* text, const WideChar* caption,
                               std::uint32_t style) {
  BindUser32OnFirstUse();
  const auto show = entry<decltype(&::MessageBoxW)>(RuntimeEntry::MessageBoxW);
  if (show == nullptr) return Unbound(0);
  return show(ToNative<HWND>(owner), ToWide(text), ToWide(caption), style);
}

std::uint16_t Win32Platform::GetSystemDefaultLangID() { return ::GetSystemDefaultLangID(); }

// Installer databases ----------------------------------------------------

Status Win32Platform::MsiOpenDatabaseW(const WideChar* databasePath, std::uint32_t persistMode,
                                       MsiHandle* database) {
  // The persist mode travels in the name's place: MSIDBOPEN_READONLY is
  // the pointer value 0.
  const auto persist = reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(persistMode));
  MSIHANDLE opened = 0;  // handed out as 0 when the call fails or is not made
  Status status = BindMsiOnFirstUse();
  if (status == 0) {
    status = entry<decltype(&::MsiOpenDatabaseW)>(RuntimeEntry::MsiOpenDatabaseW)(
        ToWide(databasePath), persist, database != nullptr ? &opened : nullptr);
  }
  if (database != nullptr) *database = opened;
  return status;
}

Status Win32Platform::MsiDatabaseOpenViewW(MsiHandle database, const WideChar* query,
                                           MsiHandle* view) {
  MSIHANDLE opened = 0;
  Status status = BindMsiOnFirstUse();
  if (status == 0) {
    status = entry<decltype(&::MsiDatabaseOpenViewW)>(RuntimeEntry::MsiDatabaseOpenViewW)(
        database, ToWide(query), view != nullptr ? &opened : nullptr);
  }
  if (view != nullptr) *view = opened;
  return status;
}

Status Win32Platform::MsiViewExecute(MsiHandle view, MsiHandle parameters) {
  if (const Status status = BindMsiOnFirstUse(); status != 0) return status;
  return entry<decltype(&::MsiViewExecute)>(RuntimeEntry::MsiViewExecute)(view, parameters);
}

Status Win32Platform::MsiViewFetch(MsiHandle view, MsiHandle* record) {
  MSIHANDLE fetched = 0;
  Status status = BindMsiOnFirstUse();
  if (status == 0) {
    status = entry<decltype(&::MsiViewFetch)>(RuntimeEntry::MsiViewFetch)(
        view, record != nullptr ? &fetched : nullptr);
  }
  if (record != nullptr) *record = fetched;
  return status;
}

Status Win32Platform::MsiRecordGetStringW(MsiHandle record, std::uint32_t field, WideChar* buffer,
                                          std::uint32_t* count) {
  if (const Status status = BindMsiOnFirstUse(); status != 0) return status;
  DWORD units = count != nullptr ? *count : 0;
  const UINT status = entry<decltype(&::MsiRecordGetStringW)>(RuntimeEntry::MsiRecordGetStringW)(
      record, field, ToWide(buffer), count != nullptr ? &units : nullptr);
  if (count != nullptr) *count = units;
  return status;
}

Status Win32Platform::MsiCloseHandle(MsiHandle handle) {
  if (const Status status = BindMsiOnFirstUse(); status != 0) return status;
  return entry<decltype(&::MsiCloseHandle)>(RuntimeEntry::MsiCloseHandle)(handle);
}

}  // namespace setup
