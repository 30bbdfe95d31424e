// A simulated Windows machine for the host tests.
//
// FakeMachine implements the platform seam over in-memory state: a registry
// under HKEY_CLASSES_ROOT, a service manager, drives of folders and files
// with 8.3 short names and contents, ini files, installer databases read
// from real files on the host, child processes that run a test-supplied
// program, message boxes, a clock, the system language and code pages.
// Each entry follows its Win32 namesake where the launcher depends on it:
// size rules, status codes, case-insensitive names, search order. Any entry
// can be made to fail on a chosen call, the launcher can be killed at any
// call, and every kind of handle is counted so a test can check that none
// leaked.
//
// Text is UTF-16 throughout, as Windows keeps it. Set-up calls also take
// narrow text, as bytes in the system ANSI code page, converted when they
// are passed in: set the code page before adding text whose bytes depend on
// it. Test set-up calls throw std::invalid_argument on misuse; platform
// entries never throw.
#ifndef SETUP_TESTS_SIM_FAKE_MACHINE_H
#define SETUP_TESTS_SIM_FAKE_MACHINE_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "sim/fault_plan.h"
#include "sim/file_tree.h"
#include "sim/platform_test_constants.h"
#include "sim/registry_tree.h"
#include "sim/sim_records.h"

namespace setup::sim {

class InstallerObjects;

// One name a file search reports, and whether it is a folder.
struct FoundEntry {
  std::u16string name;
  bool isFolder = false;
};

class FakeMachine : public Platform {
 public:
  // A machine with drive C:, current directory "C:\", system directory
  // "C:\windows\system32", Windows folder "C:\windows" (its Temp exists),
  // temp folder "C:\Users\Setup\AppData\Local\Temp\" (which exists), no
  // GetTempPath2W, command line "Setup.exe", language 0x0409 and code page
  // 1252 for both the system and the thread.
  FakeMachine();
  ~FakeMachine() override;
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;

  // ---- Registry (HKEY_CLASSES_ROOT; paths like "Installer\\Products\\X") --
  // Creates the key and its missing parents.
  void AddKey(const std::string& path);
  // Stores `value` as REG_SZ with its terminating zero; creates the key.
  // String data is kept in UTF-16, as Windows keeps it: narrow text is
  // converted with the system ANSI code page.
  void SetString(const std::string& path, const std::string& name, const std::string& value);
  void SetString(const std::string& path, const std::string& name, const std::u16string& value);
  // Stores the bytes exactly as given (e.g. a REG_SZ without terminator);
  // string data is UTF-16 little-endian (sim/utf16_bytes.h).
  void SetRawValue(const std::string& path, const std::string& name, std::uint32_t type,
                   std::vector<std::uint8_t> bytes);
  // The value's text, one trailing zero unit dropped; none when absent.
  // The narrow form is converted with the system ANSI code page, with its loss.
  std::optional<std::string> GetString(const std::string& path, const std::string& name) const;
  std::optional<std::u16string> GetWideString(const std::string& path,
                                              const std::string& name) const;
  // The value as stored; none when absent.
  std::optional<RegistryValue> GetRawValue(const std::string& path, const std::string& name) const;
  // Whether the key, or the value in the key, exists.
  bool HasKey(const std::string& path) const;
  bool HasValue(const std::string& path, const std::string& name) const;
  // Removes a value, or a key with its subtree (open handles then report
  // the key deleted). Nothing happens when it is absent.
  void RemoveValue(const std::string& path, const std::string& name);
  // The value grows by `units` UTF-16 units just before every query of it,
  // as one another program keeps rewriting would.
  void GrowOnEveryQuery(const std::string& path, const std::string& name, std::size_t units);
  void RemoveKey(const std::string& path);
  // Every open of the key fails with access denied. Creates the key.
  void DenyRead(const std::string& path);
  // Opens asking for KEY_SET_VALUE or KEY_CREATE_SUB_KEY fail with access
  // denied; KEY_READ opens work. Creates the key.
  void DenyWrite(const std::string& path);
  // Keys opened and not yet closed.
  std::size_t OpenKeyCount() const;
  // Values written and deleted through the platform, in order.
  const std::vector<RegistryChange>& RegistryChanges() const { return registryChanges_; }
  // HKEY_LOCAL_MACHINE outside its Classes ("SOFTWARE\\Microsoft\\..."), where
  // the installer records applied patches: only set-up calls and child
  // programs reach it, as the launcher never opens it. Creates the key.
  void SetLocalMachineValue(const std::string& path, const std::string& name, std::uint32_t type,
                            std::vector<std::uint8_t> bytes);
  std::optional<RegistryValue> GetLocalMachineValue(const std::string& path,
                                                    const std::string& name) const;

  // ---- Services ----------------------------------------------------------
  // Installs a service in `state` (SERVICE_STOPPED .. SERVICE_PAUSED).
  void InstallService(const std::string& name, std::uint32_t state);
  void SetServiceState(const std::string& name, std::uint32_t state);
  // OpenSCManagerA asking for rights outside `mask` fails. Default: all.
  void SetManagerAllowedAccess(std::uint32_t mask);
  // OpenServiceA asking for rights outside `mask` fails. Default: all.
  void SetServiceAllowedAccess(const std::string& name, std::uint32_t mask);
  // QueryServiceStatus on the service fails with ERROR_ACCESS_DENIED while
  // `fail` holds.
  void FailStatusQuery(const std::string& name, bool fail = true);
  // The access asked of each OpenSCManagerA call, in order.
  const std::vector<std::uint32_t>& ManagerAccessRequests() const { return managerRequests_; }
  // Each OpenServiceA call's name and access, in order.
  const std::vector<ServiceOpenRequest>& ServiceOpenRequests() const { return serviceRequests_; }
  // Service handles in the order they were closed: "manager" or
  // "service:<name as installed>".
  const std::vector<std::string>& ServiceHandleCloses() const { return serviceCloses_; }
  // Manager and service handles open.
  std::size_t OpenServiceHandleCount() const { return openServices_.size(); }

  // ---- Files and folders (absolute paths, "C:\\Patch Files\\x.msp") ------
  // Adds a folder or a file; `shortName` is the 8.3 name of the last
  // component, empty when the long name is its own short form. Missing
  // parents are created as folders without short names. Adding an existing
  // entry sets its short name. Entries are searched in the order added.
  void AddFolder(const std::string& longPath, const std::string& shortName = "");
  void AddFile(const std::string& longPath, const std::string& shortName = "");
  // The same for names the ANSI code page may not spell.
  void AddFolder(const std::u16string& longPath, const std::u16string& shortName = u"");
  void AddFile(const std::u16string& longPath, const std::u16string& shortName = u"");
  // Moves the entry (long or short path) to the front of its folder's
  // search order.
  void PutFirstInSearchOrder(const std::string& path);
  // Whether a folder or file exists at the path (long or short names).
  bool PathExists(const std::string& path) const;
  bool PathExists(const std::u16string& path) const;
  // Removes a folder with all it holds, as a cache cleaned between runs.
  // Throws when it is absent or a file in it is open.
  void RemoveFolder(const std::u16string& path);
  // The current directory, kept without trailing separator except for a
  // drive root. The folder need not exist.
  void SetCurrentDirectory(const std::string& path);
  void SetCurrentDirectory(const std::u16string& path);
  // GetCurrentDirectoryA then fails with 0.
  void ClearCurrentDirectory();
  // False simulates a volume without 8.3 names: GetShortPathNameA gives
  // the long names.
  void SetShortNamesAvailable(bool available);
  // What GetShortPathNameW gives for `longPath`, asked without a call (no
  // fault, no count): for checkers that judge a run afterwards.
  std::optional<std::u16string> ShortPathOf(const std::u16string& longPath) const;
  // What GetSystemDirectoryW reports.
  void SetSystemDirectory(const std::u16string& path);
  // What GetTempPathW reports, given with its trailing backslash as Windows
  // gives it. Like Windows, the machine neither checks nor creates the
  // folder: AddFolder it for the run log to be made there.
  void SetTempPath(const std::u16string& path);
  // Makes kernel32 export GetTempPath2W, reporting `path` (a SYSTEM
  // process's "C:\Windows\SystemTemp\"; for another account Windows gives
  // GetTempPathW's). Without it, as under Wine 8 and on Windows before the
  // updates of March 2025, the entry fails (0).
  void SetTempPath2(const std::u16string& path);
  // What GetModuleFileNameW reports; none (0) at first.
  void SetModulePath(const std::u16string& path);
  // Defines the environment variable `name` (its case ignored, as Windows
  // does) for GetEnvironmentVariableW; none is defined at first.
  void SetEnvironmentVariable(const std::u16string& name, const std::u16string& value);
  // CreateFileW refuses to add a file in the folder (access denied), as in
  // a folder the account may not write. Creates the folder when absent.
  void DenyFileCreation(const std::u16string& folder);
  // Free space for WriteFile: each write uses its size, and a write that
  // does not fit fails whole, nothing written. Default: unlimited.
  void SetFreeDiskSpace(std::uint64_t bytes);
  // No space at all (true) or unlimited space again (false).
  void SetDiskFull(bool full);
  // The bytes written to the file (long or short path) through the
  // platform; "" for a file added by the test. None when no file is there.
  std::optional<std::string> FileContents(const std::u16string& path) const;
  // Adds a file holding `bytes`, for CreateFileW(OPEN_EXISTING) and ReadFile.
  void AddFileWithContents(const std::u16string& longPath, const std::string& bytes);
  // Long paths of the files CreateFileW made, in order. The files stay, so
  // this is kept when a process ends.
  const std::vector<std::u16string>& CreatedFiles() const { return createdFiles_; }
  // Patterns passed to FindFirstFileW, in order, in UTF-8.
  const std::vector<std::string>& FindPatterns() const { return findPatterns_; }
  // Searches opened and not yet closed.
  std::size_t OpenFindHandleCount() const { return openFinds_.size(); }

  // ---- Ini files -----------------------------------------------------------
  // Sets a value as GetPrivateProfileStringW returns it (quotes and blanks
  // already stripped). The file is found by long or short path, and added
  // without short name when absent.
  void SetIniValue(const std::string& path, const std::u16string& section,
                   const std::u16string& key, const std::u16string& value);
  void SetIniValue(const std::u16string& path, const std::u16string& section,
                   const std::u16string& key, const std::u16string& value);

  // ---- Installer databases -------------------------------------------------
  // Adds the file at `longPath` as AddFile does and makes it an installer
  // database: MsiOpenDatabaseW on a path naming it (long or short names)
  // opens the host file `hostFilePath` read-only with libmsi. The host file
  // is read at each open, so it need not exist yet. Throws as AddFile does,
  // and when `hostFilePath` is empty.
  void AddInstallerDatabase(const std::string& longPath, const std::string& hostFilePath,
                            const std::string& shortName = "");
  void AddInstallerDatabase(const std::u16string& longPath, const std::string& hostFilePath,
                            const std::u16string& shortName);
  // Every call of the six installer entries, in order; empty when the
  // launcher never touched an installer database.
  const std::vector<InstallerCall>& InstallerCalls() const { return installerCalls_; }
  // Installer handles in the order they were closed: "database", "view" or
  // "record".
  const std::vector<std::string>& InstallerHandleCloses() const { return installerCloses_; }
  // Database, view and record handles open.
  std::size_t OpenInstallerHandleCount() const;

  // ---- Processes -----------------------------------------------------------
  // What GetCommandLineW returns. Narrow text is converted with the system
  // ANSI code page when set.
  void SetCommandLine(const std::string& commandLine);
  void SetCommandLine(const std::u16string& commandLine);
  // The program the next start runs; programs queue up, one per start.
  void QueueChild(ChildProgram child);
  // The program of starts with nothing queued. Default: exits with 0.
  void SetDefaultChild(ChildProgram child);
  // Every CreateProcessW call, in order.
  const std::vector<ProcessStart>& ProcessStarts() const { return processStarts_; }
  // Kernel handles in the order they were closed: "process:<n>" or
  // "thread:<n>", n indexing ProcessStarts(); "mutex"; "file:<long path>".
  const std::vector<std::string>& KernelHandleCloses() const { return kernelCloses_; }
  // Process and thread handles open.
  std::size_t OpenKernelHandleCount() const { return kernelHandles_.size(); }
  // Files opened by CreateFileW and not yet closed.
  std::size_t OpenFileHandleCount() const { return fileHandles_.size(); }

  // ---- One launcher at a time, window station -----------------------------
  // Makes `name` a mutex that another process holds, or no longer holds.
  void HoldMutexElsewhere(const std::u16string& name);
  void ReleaseMutexElsewhere(const std::u16string& name);
  // The same, held by another account under a descriptor that lets ours
  // do nothing with it: CreateMutexExW and OpenMutexW of the name fail with
  // ERROR_ACCESS_DENIED, as the platform's installer's may for a user.
  void HoldRefusingMutexElsewhere(const std::u16string& name);
  // CreateMutexExW refuses names that start with `prefix` (e.g. u"Global\\")
  // with `error`: access denied is what Windows gives for a mutex another
  // account made without letting ours open it.
  void RefuseMutexNamespace(const std::u16string& prefix, Status error = ERROR_ACCESS_DENIED);
  // Every name CreateMutexExW was asked for, in order.
  const std::vector<std::u16string>& MutexRequests() const { return mutexRequests_; }
  // Names of the mutexes the launcher holds open now.
  std::vector<std::u16string> HeldMutexes() const;
  // Makes `name` a mutex that exists and nobody owns.
  void AddFreeMutex(const std::u16string& name);
  // Makes `name` a mutex whose owner ended without releasing it (a killed
  // installer's): the next wait takes it with WAIT_ABANDONED, as Windows
  // documents, and it is an ordinary free mutex after that.
  void AbandonMutexElsewhere(const std::u16string& name);
  // Mutexes opened with OpenMutexW that a wait took and no release gave
  // back, closed or not.
  int UnreleasedOpenedMutexes() const { return unreleasedOpenedMutexes_; }
  // What ProcessWindowStationIsVisible answers. Default: visible.
  void SetWindowStationVisible(bool visible);
  // The session ProcessIdToSessionId reports for the launcher's process id
  // (another id gives ERROR_INVALID_PARAMETER). Default: 1, a user's.
  void SetSessionId(std::uint32_t session);

  // ---- Clock, process id, Windows version ---------------------------------
  // What GetLocalTime returns. Default: 2026-12-08 14:03:07.412.
  void SetLocalTime(const LocalTime& time);
  // What the next GetTickCount returns, and how far each call moves the
  // count on (0: time stands still). Default: 5000000, step 0. The count
  // wraps at 2^32 as Windows' does.
  void SetTickCount(std::uint32_t now, std::uint32_t stepPerCall = 0);
  // Moves the count on, as the time a child program takes, say.
  void AdvanceTickCount(std::uint32_t milliseconds);
  // What GetCurrentProcessId returns. Default: 4242.
  void SetProcessId(std::uint32_t id);
  // What RtlGetVersion reports. Default: 10.0.19045.
  void SetWindowsVersion(const WindowsVersion& version);

  // ---- Message boxes, language, code pages --------------------------------
  // What MessageBoxW returns. Default: 1 (IDOK).
  void SetMessageBoxResult(int result);
  // Every MessageBoxW call, in order.
  const std::vector<MessageBoxCall>& MessageBoxes() const { return messageBoxes_; }
  // What GetSystemDefaultLangID returns.
  void SetSystemLanguage(std::uint16_t language);
  // The system's and the thread's ANSI code pages; 1252 and 932 are known,
  // and 65001 and other "CP<n>" glibc has. The launcher reads no text
  // through either: tests set them to show that.
  void SetSystemCodePage(std::uint32_t codePage);
  void SetThreadCodePage(std::uint32_t codePage);
  // Converts with the system ANSI code page, as Windows' narrow entries do
  // (a character the page lacks becomes '?').
  std::u16string DecodeAnsi(std::string_view text) const;
  std::string EncodeAnsi(std::u16string_view text) const;

  // ---- Fault injection and leak checks ------------------------------------
  // Makes the `occurrence`-th call of `operation` from now (1 = the next)
  // fail. Entries returning a Status return `status`, and CreateFileW,
  // OpenMutexW and the service entries but the close report it as their
  // last error; the others return their failure value
  // (null handle, INVALID_FIND_HANDLE, false, 0; an empty command line, a
  // zeroed LocalTime) and ignore `status`. A failed call has no effect,
  // except that a failed close still releases its handle and a failed
  // CreateProcessW is still recorded. (A call CrashAt cuts off releases
  // nothing.)
  void FailCall(Operation operation, Status status, int occurrence = 1);
  // Makes the `occurrence`-th platform call from now (1 = the next) fail,
  // whatever its entry, as FailCall does.
  void FailAnyCall(Status status, std::size_t occurrence) {
    faults_.FailAnyCall(status, occurrence);
  }
  // Kills the launcher at the `occurrence`-th platform call from now (1 =
  // the next): from that call (Cut::BeforeCall) or the one after it
  // (Cut::AfterCall) on, every call fails without any effect, a close
  // included, so the machine stays as the kill left it while the launcher's
  // code runs on to its end. EndProcess then ends the process.
  void CrashAt(std::size_t occurrence, Cut cut) { faults_.CrashAt(occurrence, cut); }
  // The entry of the call the kill came before or after; null until it
  // happened.
  const Operation* CrashCall() const { return faults_.CrashCall(); }
  // Ends the launcher's process as the system ends a killed one, and makes
  // the machine ready for a new launcher: a child it started and did not
  // see end runs to its end, as an installer outlives the launcher waiting
  // on it; every handle the process held is released (keys, services,
  // searches, files, processes, threads, mutexes, installer handles);
  // calls work again; and the records of the process's calls are cleared
  // (registry changes, process starts, message boxes, service, search,
  // mutex and installer requests, handle closes), so the next run's can be
  // read on their own. The registry, files, services, call counts, planned
  // failures and machine errors stay. Also right after a run that ended by
  // itself.
  void EndProcess();
  // The entry that FailAnyCall's failure hit; null while none was hit.
  const Operation* FailedAnyCall() const { return faults_.FailedAnyCall(); }
  // Calls of `operation` so far, failed ones included.
  std::size_t CallCount(Operation operation) const { return faults_.CallCount(operation); }
  // Platform calls so far, of every entry, failed ones included.
  std::size_t TotalCallCount() const { return faults_.TotalCallCount(); }
  // Exceptions caught inside platform entries (a throwing child program,
  // say), each as "<entry>: <message>". Empty in a sound test.
  const std::vector<std::string>& InternalErrors() const { return internalErrors_; }
  // True when no registry key, service, search, kernel (process, thread,
  // mutex, file) or installer handle is open.
  bool AllHandlesClosed() const;
  // The open handles by kind, for a failure message.
  std::string OpenHandlesReport() const;

  // ---- Platform ----------------------------------------------------------
  // Each entry behaves as platform.h and its Win32 namesake say, with these
  // departures, none of which the launcher meets:
  // - RegOpenKeyExW ignores `options` and the WOW64 view flags (one view).
  // - OpenSCManagerA knows only the local machine's active database.
  // - GetShortPathNameW takes absolute paths only.
  // - FindFirstFileW matches plain '*' and '?' (and "*.*" as everything),
  //   not the DOS wildcard quirks; a pattern without folder searches the
  //   current directory.
  // - GetPrivateProfileStringW does not list sections or keys (null section
  //   or key gives ""), and a file name without folder is not found.
  // - CreateProcessW rewrites one unit of the command line in place, as
  //   Windows may, so a read-only command line faults here too.
  // - WaitForSingleObject runs the child to its end whatever the timeout.
  // - CreateFileW knows CREATE_NEW only: another disposition fails with
  //   ERROR_INVALID_PARAMETER. It takes absolute paths only (a relative
  //   one gives ERROR_PATH_NOT_FOUND), does not enforce the share mode or
  //   act on the flags, keeps trailing dots and blanks of a name, and gives
  //   the new file no 8.3 name. A name that exists wins over a denied
  //   folder (ERROR_FILE_EXISTS).
  // - WriteFile appends, which is where the file pointer of a file made by
  //   CREATE_NEW stands; the seam carries no last error.
  // - GetTickCount moves on only by its step and AdvanceTickCount; Sleep
  //   leaves it, and GetLocalTime does not follow it.
  // - MsiOpenDatabaseW opens read-only only: another `persistMode` fails
  //   with ERROR_INVALID_PARAMETER. A path that names no database file, or
  //   a host file libmsi cannot read, gives ERROR_OPEN_FAILED.
  // - Queries run on libmsi's SQL engine, which follows the installer's
  //   (back-quoted names, a missing table giving ERROR_BAD_QUERY_SYNTAX);
  //   executing a view again restarts its rows.
  const WideChar* GetCommandLineW() noexcept override;
  Status RegOpenKeyExW(RegKey root, const WideChar* subKey, std::uint32_t options,
                       std::uint32_t access, RegKey* result) noexcept override;
  Status RegQueryValueExW(RegKey key, const WideChar* valueName, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) noexcept override;
  Status RegSetValueExW(RegKey key, const WideChar* valueName, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) noexcept override;
  Status RegDeleteValueW(RegKey key, const WideChar* valueName) noexcept override;
  Status RegCloseKey(RegKey key) noexcept override;
  ServiceHandle OpenSCManagerA(const char* machineName, const char* databaseName,
                               std::uint32_t access, Status* lastError) noexcept override;
  ServiceHandle OpenServiceA(ServiceHandle manager, const char* serviceName, std::uint32_t access,
                             Status* lastError) noexcept override;
  bool QueryServiceStatus(ServiceHandle service, ServiceStatus* status,
                          Status* lastError) noexcept override;
  bool CloseServiceHandle(ServiceHandle handle) noexcept override;
  std::uint32_t GetCurrentDirectoryW(std::uint32_t bufferSize, WideChar* buffer) noexcept override;
  std::uint32_t GetShortPathNameW(const WideChar* longPath, WideChar* shortPath,
                                  std::uint32_t bufferSize) noexcept override;
  FindHandle FindFirstFileW(const WideChar* pattern, WideFindData* data) noexcept override;
  bool FindNextFileW(FindHandle handle, WideFindData* data) noexcept override;
  bool FindClose(FindHandle handle) noexcept override;
  std::uint32_t GetSystemDirectoryW(WideChar* buffer, std::uint32_t size) noexcept override;
  std::uint32_t GetPrivateProfileStringW(const WideChar* section, const WideChar* key,
                                         const WideChar* defaultValue, WideChar* buffer,
                                         std::uint32_t size,
                                         const WideChar* fileName) noexcept override;
  Status CreateProcessW(const WideChar* applicationName, WideChar* commandLine,
                        std::uint32_t creationFlags, const WideChar* currentDirectory,
                        const StartupInfo& startupInfo,
                        ProcessInformation* processInformation) noexcept override;
  std::uint32_t WaitForSingleObject(KernelHandle handle,
                                    std::uint32_t milliseconds) noexcept override;
  bool GetExitCodeProcess(KernelHandle process, std::uint32_t* exitCode) noexcept override;
  bool CloseHandle(KernelHandle handle) noexcept override;
  // Sleeps not at all: simulated time does not pass.
  void Sleep(std::uint32_t milliseconds) noexcept override;
  std::uint32_t GetModuleFileNameW(WideChar* buffer, std::uint32_t size) noexcept override;
  std::uint32_t GetEnvironmentVariableW(const WideChar* name, WideChar* buffer,
                                        std::uint32_t size) noexcept override;
  std::uint32_t GetTempPathW(std::uint32_t bufferSize, WideChar* buffer) noexcept override;
  std::uint32_t GetTempPath2W(std::uint32_t bufferSize, WideChar* buffer) noexcept override;
  std::uint32_t GetSystemWindowsDirectoryW(WideChar* buffer, std::uint32_t size) noexcept override;
  KernelHandle CreateFileW(const WideChar* fileName, std::uint32_t desiredAccess,
                           std::uint32_t shareMode, std::uint32_t creationDisposition,
                           std::uint32_t flagsAndAttributes, Status* lastError) noexcept override;
  bool ReadFile(KernelHandle file, std::uint8_t* data, std::uint32_t size,
                std::uint32_t* read) noexcept override;
  bool WriteFile(KernelHandle file, const std::uint8_t* data, std::uint32_t size,
                 std::uint32_t* written) noexcept override;
  LocalTime GetLocalTime() noexcept override;
  std::uint32_t GetTickCount() noexcept override;
  std::uint32_t GetCurrentProcessId() noexcept override;
  Status RtlGetVersion(WindowsVersion* version) noexcept override;
  KernelHandle CreateMutexExW(const WideChar* name, Status* lastError) noexcept override;
  KernelHandle OpenMutexW(const WideChar* name, Status* lastError) noexcept override;
  bool FlushFileBuffers(KernelHandle file) noexcept override;
  bool ReleaseMutex(KernelHandle mutex) noexcept override;
  Status ProcessIdToSessionId(std::uint32_t processId, std::uint32_t* sessionId) noexcept override;
  bool ProcessWindowStationIsVisible() noexcept override;
  int MessageBoxW(WindowHandle owner, const WideChar* text, const WideChar* caption,
                  std::uint32_t style) noexcept override;
  std::uint16_t GetSystemDefaultLangID() noexcept override;
  Status MsiViewExecute(MsiHandle view, MsiHandle parameters) noexcept override;
  Status MsiViewFetch(MsiHandle view, MsiHandle* record) noexcept override;
  Status MsiOpenDatabaseW(const WideChar* databasePath, std::uint32_t persistMode,
                          MsiHandle* database) noexcept override;
  Status MsiDatabaseOpenViewW(MsiHandle database, const WideChar* query,
                              MsiHandle* view) noexcept override;
  Status MsiRecordGetStringW(MsiHandle record, std::uint32_t field, WideChar* buffer,
                             std::uint32_t* count) noexcept override;
  Status MsiCloseHandle(MsiHandle handle) noexcept override;

 private:
  // A registry handle: the key and the rights granted at open.
  struct OpenRegistryKey {
    std::shared_ptr<RegistryKey> key;
    std::uint32_t rights = 0;  // granted, generic rights mapped
  };
  // A service as set up by the test.
  struct InstalledService {
    std::string name;
    std::uint32_t state = SERVICE_STOPPED;
    std::uint32_t allowedAccess = ~std::uint32_t{0};
    bool failStatusQuery = false;
  };
  // A manager or service handle and the rights granted at open.
  struct OpenService {
    bool isManager = false;
    std::string serviceName;  // as installed
    std::uint32_t rights = 0;
  };
  // A process or thread handle, naming its start.
  struct KernelObject {
    std::size_t startIndex = 0;  // into processStarts_
    bool isThread = false;
  };
  // A file handle from CreateFileW.
  struct OpenFile {
    FileEntry* file = nullptr;  // a folder holding an open file is never removed
    bool writable = false;      // write rights were asked for
    std::size_t readAt = 0;     // where the next read starts
  };

  // Runs one platform entry: counts the call, applies a planned failure,
  // and turns an exception into `failure`. Defined in fake_machine_entry.h.
  template <typename Result, typename Body>
  Result Enter(Operation operation, Result failure, Body&& body) noexcept;
  // The same for an entry returning a Status: a planned failure returns
  // the planned status.
  template <typename Body>
  Status EnterWithStatus(Operation operation, Body&& body) noexcept;
  // The same for an entry that reports the thread's last error: `body`
  // receives where to put it; a planned failure returns `failure` with the
  // planned status as last error.
  template <typename Result, typename Body>
  Result EnterWithLastError(Operation operation, Result failure, Status* lastError,
                            Body&& body) noexcept;
  // The same for an entry that closes a handle: `release` runs even when
  // the call is planned to fail, so the handle is released either way,
  // unless a kill cut the call off.
  template <typename Result, typename Release>
  Result EnterClose(Operation operation, Result failure, Release&& release) noexcept;
  // Records an exception caught inside an entry.
  void NoteInternalError(Operation operation, const char* what) noexcept;

  // A fresh value for a handle of any kind; no two handles share one.
  std::uintptr_t NextHandleValue();
  // The key and granted rights behind a handle, or the status to report.
  Status LookUpKey(RegKey handle, OpenRegistryKey* open) const;
  // A key or value name passed in UTF-16, as the tree keeps names.
  std::string NameOf(const WideChar* name) const;
  // Text an entry records for the tests, in UTF-8; never throws.
  static std::string RecordedText(std::u16string_view text);
  // The key at `path`, created when absent; throws on a malformed path.
  std::shared_ptr<RegistryKey> KeyForSetUp(const std::string& path);
  // The installed service of that name (case-insensitive), or null.
  InstalledService* FindService(std::string_view name);
  // The installed service of that name; throws when there is none.
  InstalledService& ServiceForSetUp(const std::string& name);
  // The names a search for `pattern` finds, in search order.
  std::deque<FoundEntry> FileMatches(const std::u16string& pattern) const;
  // Adds a folder or file for set-up; throws when the path is unusable.
  FileEntry* AddEntry(const std::u16string& longPath, const std::u16string& shortName,
                      bool isFolder);
  // CreateFileW's CREATE_NEW: the new file, or null with `*error` set.
  FileEntry* CreateNewFile(const std::u16string& path, Status* error);
  // Runs the child program of that start, once, and records its exit code.
  void RunChild(std::size_t startIndex);
  // A fresh installer handle value; installer handles are 32-bit.
  MsiHandle NextInstallerHandle();
  // The host database file behind a database path (absolute, or relative
  // to the current directory); empty when there is none.
  std::string HostDatabaseFor(std::u16string databasePath) const;
  // Opens the database at `databasePath` read-only into `database`.
  Status OpenDatabase(const std::u16string& databasePath, MsiHandle* database);
  // Records one installer call; never throws.
  void NoteInstallerCall(Operation operation, const char* text, std::uint32_t persistMode,
                         std::uint32_t field, Status result) noexcept;

  // Handles, faults and errors of every area.
  std::uintptr_t nextHandleValue_ = 0x1000;
  FaultPlan faults_;
  std::vector<std::string> internalErrors_;

  // Registry.
  RegistryTree registry_;
  RegistryTree localMachine_;
  std::map<RegKey, OpenRegistryKey> openKeys_;
  std::vector<RegistryChange> registryChanges_;

  // Services.
  std::vector<InstalledService> services_;
  std::uint32_t managerAllowedAccess_ = ~std::uint32_t{0};
  std::map<ServiceHandle, OpenService> openServices_;
  std::vector<std::uint32_t> managerRequests_;
  std::vector<ServiceOpenRequest> serviceRequests_;
  std::vector<std::string> serviceCloses_;

  // Files and folders.
  FileTree files_;
  std::optional<std::u16string> currentDirectory_;
  bool shortNamesAvailable_ = true;
  std::u16string systemDirectory_;
  // Each open search with the matches it has yet to report.
  std::map<FindHandle, std::deque<FoundEntry>> openFinds_;
  std::vector<std::string> findPatterns_;
  std::u16string tempPath_;
  std::optional<std::u16string> tempPath2_;  // none: GetTempPath2W is not exported
  std::u16string windowsDirectory_;
  std::map<std::u16string, std::u16string> environment_;  // by FoldedKey of the name
  std::u16string modulePath_;
  std::optional<std::uint64_t> freeDiskSpace_;  // none: unlimited
  std::map<KernelHandle, OpenFile> fileHandles_;
  std::vector<std::u16string> createdFiles_;

  // Installer databases; the objects are defined with the libmsi sources.
  std::unique_ptr<InstallerObjects> installerObjects_;
  std::vector<InstallerCall> installerCalls_;
  std::vector<std::string> installerCloses_;

  // Processes.
  std::u16string commandLine_;
  std::vector<ProcessStart> processStarts_;
  std::map<std::size_t, ChildProgram> pendingChildren_;  // by start index, until run
  std::deque<ChildProgram> queuedChildren_;
  ChildProgram defaultChild_;
  std::map<KernelHandle, KernelObject> kernelHandles_;
  std::vector<std::string> kernelCloses_;

  // One launcher at a time, window station.
  std::map<std::string, std::size_t> growingValues_;  // key path + '\n' + value name
  std::set<std::u16string> mutexesElsewhere_;
  std::set<std::u16string> mutexesRefusingUs_;
  std::vector<std::pair<std::u16string, Status>> refusedMutexPrefixes_;
  std::map<KernelHandle, std::u16string> mutexHandles_;
  std::vector<std::u16string> mutexRequests_;
  std::set<std::u16string> freeMutexes_;
  std::set<std::u16string> abandonedMutexes_;
  struct OpenedMutex {
    std::u16string name;
    bool owned = false;
  };
  std::map<KernelHandle, OpenedMutex> openedMutexes_;
  int unreleasedOpenedMutexes_ = 0;
  bool windowStationVisible_ = true;
  std::uint32_t sessionId_ = 1;

  // Clock, process id, Windows version.
  LocalTime localTime_{2026, 12, 8, 14, 3, 7, 412};
  std::uint32_t tickCount_ = 5000000;
  std::uint32_t tickStep_ = 0;
  std::uint32_t processId_ = 4242;
  WindowsVersion windowsVersion_{10, 0, 19045};

  // Message boxes, language, code pages.
  int messageBoxResult_ = 1;
  std::vector<MessageBoxCall> messageBoxes_;
  std::uint16_t language_ = 0x0409;
  std::uint32_t systemCodePage_ = 1252;
  std::uint32_t threadCodePage_ = 1252;
};

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_FAKE_MACHINE_H
