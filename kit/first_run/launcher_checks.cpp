// Setup.exe itself, with the system's installer, on a throwaway
// registration of a product of its table that this machine does not have.
// The update package is not one, so the installer fails at once with a
// status of its own; what is checked is what the launcher makes of it.
#include <windows.h>
// after windows.h
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "kit_checks.h"
#include "kit_machine.h"
#include "line_form.h"
#include "scoped_handles.h"

namespace first_run {

namespace {

constexpr wchar_t kOwnTransforms[] = L":1033.mst";
constexpr DWORD kAnotherInstallation = 1618;  // ERROR_INSTALL_ALREADY_RUNNING

struct Throwaway {
  TableProduct product;
  std::unique_ptr<SavedValue> transforms;
};

// The first product of the table with no registration here, registered
// with its own Transforms for the run; none when every one is installed.
std::unique_ptr<Throwaway> RegisterThrowaway() {
  for (int row = 0; row < RegisteredRowCount(); ++row) {
    TableProduct product = RegisteredRow(row);
    if (KeyExists(HKEY_CLASSES_ROOT, product.packedKey)) continue;
    auto throwaway = std::make_unique<Throwaway>();
    throwaway->product = product;
    throwaway->transforms =
        std::make_unique<SavedValue>(HKEY_CLASSES_ROOT, product.packedKey, L"Transforms", 0);
    if (!throwaway->transforms->Set(kOwnTransforms)) return nullptr;
    return throwaway;
  }
  return nullptr;
}

std::string Describe(const LauncherRun& run) {
  if (run.startError != 0) return "Setup.exe did not start (" + std::to_string(run.startError) + ")";
  if (run.timedOut) return "Setup.exe did not end within its limit";
  return "Setup.exe ended with " + std::to_string(run.exitCode);
}

// The registration as the run found it: the own value, no journal.
std::string RegistrationLeft(const Throwaway& throwaway) {
  const auto transforms = throwaway.transforms->Text();
  if (!transforms || *transforms != kOwnTransforms) {
    return "Transforms is not " + Utf8(kOwnTransforms) + " afterwards";
  }
  if (ReadValue(HKEY_CLASSES_ROOT, throwaway.product.packedKey, L"TransformsBackup")) {
    return "TransformsBackup is left";
  }
  return std::string();
}

// A failed patch ends the launcher with the installer's status, after the
// installer, and the registration is put back.
std::string FailedPatchProblem(const LauncherRun& run, const Throwaway& throwaway) {
  const auto summaryExit = SummaryNumber(run.log, "exit");
  const auto installer = SummaryNumber(run.log, "installer");
  if (run.startError != 0 || run.timedOut) return Describe(run);
  if (!summaryExit || !installer) return Describe(run) + ", its log has no summary line";
  if (*summaryExit != run.exitCode) {
    return Describe(run) + ", its summary says exit=" + std::to_string(*summaryExit);
  }
  const unsigned long reported = *installer == 1 || *installer == 259 ? 1603 : *installer;
  if (run.exitCode == 0 || run.exitCode != reported) {
    return Describe(run) + ", expected the failed installer's " + std::to_string(*installer);
  }
  const std::size_t ended = run.log.find("Installer ended with");
  const std::size_t redirected = run.log.find("Redirection: Transforms");
  const std::size_t restored = run.log.find("Restore: Transforms written back");
  if (redirected == std::string::npos) return "the log shows no redirection";
  if (ended == std::string::npos || restored == std::string::npos || restored < ended) {
    return "the log does not show the restore after the installer ended";
  }
  return RegistrationLeft(throwaway);
}

void Judge(const KitPlace& kit, const char* name, const std::string& problem,
           const std::string& passed) {
  if (problem.empty()) {
    kit.report->Pass(name, passed);
  } else {
    kit.report->Fail(name, problem);
  }
}

void CheckFailedPatch(const KitPlace& kit, const Throwaway& throwaway) {
  const char* const name = "launcher-failed-patch";
  if (!kit.Wanted(name)) return;
  const LauncherRun run = RunLauncher(
      kit, LayOutPatchFolder(kit, L"failed-patch", throwaway.product.keyword), L"/qn");
  Judge(kit, name, FailedPatchProblem(run, throwaway),
        Describe(run) + ", the installer's status, with Transforms put back");
}

// With AutoRun set to end the interpreter with 7, "/D" keeps it from
// running: the installer's status comes through, not 7.
void CheckAutoRun(const KitPlace& kit, const Throwaway& throwaway) {
  const char* const name = "autorun-skipped";
  if (!kit.Wanted(name)) return;
  const std::wstring key = L"Software\\Microsoft\\Command Processor";
  SavedValue user(HKEY_CURRENT_USER, key, L"AutoRun", 0);
  SavedValue machine64(HKEY_LOCAL_MACHINE, key, L"AutoRun", KEY_WOW64_64KEY);
  SavedValue machine32(HKEY_LOCAL_MACHINE, key, L"AutoRun", KEY_WOW64_32KEY);
  if (!user.Set(L"exit 7")) {
    kit.report->Fail(name, "AutoRun could not be set for this account");
    return;
  }
  machine64.Set(L"exit 7");
  machine32.Set(L"exit 7");
  const LauncherRun run =
      RunLauncher(kit, LayOutPatchFolder(kit, L"autorun", throwaway.product.keyword), L"/qn");
  const std::string problem =
      run.exitCode == 7 ? "Setup.exe ended with AutoRun's 7" : FailedPatchProblem(run, throwaway);
  Judge(kit, name, problem, Describe(run) + ", not AutoRun's 7");
}

void CheckInstallerMutexHeld(const KitPlace& kit, const Throwaway& throwaway) {
  const char* const name = "installer-mutex-held";
  if (!kit.Wanted(name)) return;
  SetLastError(ERROR_SUCCESS);
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Global\\_MSIExecute");
  if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
    if (mutex != nullptr) CloseHandle(mutex);
    kit.report->Skip(name, "an installation is in progress; run the kit again after it");
    return;
  }
  const LauncherRun run =
      RunLauncher(kit, LayOutPatchFolder(kit, L"mutex-held", throwaway.product.keyword), L"/qn");
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  std::string problem = RegistrationLeft(throwaway);
  if (run.exitCode != kAnotherInstallation || run.log.find("the installer holds") == std::string::npos) {
    problem = Describe(run) + ", expected 1618 with \"Another installation is in progress\"";
  }
  Judge(kit, name, problem, Describe(run) + ", nothing changed");
}

// A mutex only LOCAL SERVICE may open: the launcher's account is refused,
// which deployment toolkits and the launcher take for an installation.
void CheckInstallerMutexRefused(const KitPlace& kit, const Throwaway& throwaway) {
  const char* const name = "installer-mutex-refused";
  if (!kit.Wanted(name)) return;
  wine_tools::ScopedSecurityDescriptor descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;LS)", SDDL_REVISION_1,
                                                            descriptor.receive(), nullptr)) {
    kit.report->Fail(name, "the mutex's security descriptor could not be made");
    return;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  SetLastError(ERROR_SUCCESS);
  const HANDLE mutex = CreateMutexW(&attributes, FALSE, L"Global\\_MSIExecute");
  const DWORD created = GetLastError();
  if (mutex == nullptr || created == ERROR_ALREADY_EXISTS) {
    if (mutex != nullptr) CloseHandle(mutex);
    kit.report->Skip(name, "an installation is in progress; run the kit again after it");
    return;
  }
  const LauncherRun run = RunLauncher(
      kit, LayOutPatchFolder(kit, L"mutex-refused", throwaway.product.keyword), L"/qn");
  CloseHandle(mutex);
  std::string problem = RegistrationLeft(throwaway);
  if (run.exitCode != kAnotherInstallation ||
      run.log.find("refuses this account") == std::string::npos) {
    problem = Describe(run) + ", expected 1618 with the mutex refusing this account";
  }
  Judge(kit, name, problem, Describe(run) + ", nothing changed");
}

// With TMP and TEMP naming a missing folder, the log goes to the Windows
// folder's Temp and says why in its first line.
void CheckLogFolderFallback(const KitPlace& kit, const Throwaway& throwaway) {
  const char* const name = "log-folder-fallback";
  if (!kit.Wanted(name)) return;
  const std::wstring fallback = WindowsFolder() + L"\\Temp";
  const std::set<std::wstring> before = LogsIn(fallback);
  LauncherRun run = RunLauncher(kit, LayOutPatchFolder(kit, L"log-folder", throwaway.product.keyword),
                                L"/qn", kit.work + L"\\missing");
  run.log = TakeNewLog(fallback, before);
  const std::size_t firstLineEnd = run.log.find('\n');
  const std::string firstLine = run.log.substr(0, firstLineEnd);
  std::string problem;
  if (run.log.empty()) {
    problem = "no log in " + Utf8(fallback) + "; " + Describe(run);
  } else if (firstLine.find("Log folder: ") == std::string::npos ||
             firstLine.find("could not take the log") == std::string::npos) {
    problem = "the log's first line is [" + firstLine + "]";
  }
  Judge(kit, name, problem, "the log is in " + Utf8(fallback) + " and its first line says why");
}

}  // namespace

void RunLauncherChecks(const KitPlace& kit) {
  const char* const names[] = {"launcher-failed-patch", "autorun-skipped", "installer-mutex-held",
                               "installer-mutex-refused", "log-folder-fallback"};
  const std::unique_ptr<Throwaway> throwaway = RegisterThrowaway();
  if (!throwaway) {
    for (const char* name : names) {
      if (kit.Wanted(name)) {
        kit.report->Skip(name, "no product of the table is free to register for the run "
                               "(every one is installed here, or the registry refused the kit)");
      }
    }
    return;
  }
  CheckFailedPatch(kit, *throwaway);
  CheckAutoRun(kit, *throwaway);
  CheckInstallerMutexHeld(kit, *throwaway);
  CheckInstallerMutexRefused(kit, *throwaway);
  CheckLogFolderFallback(kit, *throwaway);
}

}  // namespace first_run
