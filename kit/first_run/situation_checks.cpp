// Checks that need something of the machine or the account: run where it
// is so, else skipped with the way to run them.
#include <string>

#include "installer_database.h"
#include "kit_checks.h"
#include "kit_machine.h"

namespace first_run {

namespace {

constexpr DWORD kAnotherInstallation = 1618;
constexpr DWORD kInvalidCommandLine = 1639;

std::string AsSystemCommand(const KitPlace& kit, const char* checks) {
  const std::string task = "QuarrixFirstRun";
  return "as an administrator: schtasks /Create /TN " + task +
         " /RU SYSTEM /SC ONCE /ST 00:00 /F /TR \"\\\"" + Utf8(kit.kitExe) + "\\\" --only " +
         checks + " --json C:\\Windows\\Temp\\first-run-system.json\" && schtasks /Run /TN " + task +
         ", then read C:\\Windows\\Temp\\first-run-system.json and schtasks /Delete /TN " + task +
         " /F";
}

std::string Ended(const LauncherRun& run) {
  if (run.startError != 0) return "Setup.exe did not start (" + std::to_string(run.startError) + ")";
  if (run.timedOut) return "Setup.exe did not end within its limit";
  return "Setup.exe ended with " + std::to_string(run.exitCode);
}

// In session 0 no message box may wait: with another launcher running the
// run ends at once, logged as unattended.
void CheckSessionZero(const KitPlace& kit) {
  const char* const name = "session-0";
  if (!kit.Wanted(name)) return;
  if (SessionOfThisProcess() != 0) {
    kit.report->Skip(name, "needs session 0; " + AsSystemCommand(kit, "session-0,system-temp-folder"));
    return;
  }
  const HANDLE other = CreateMutexW(nullptr, TRUE, L"Global\\Quarrix.Setup.PatchLauncher");
  const LauncherRun run = RunLauncher(kit, LayOutPatchFolder(kit, L"session-0", L"Hostrel"), L"");
  if (other != nullptr) CloseHandle(other);
  const bool logged = run.log.find("Unattended: session 0") != std::string::npos &&
                      run.log.find("not shown (unattended: session 0)") != std::string::npos;
  if (run.timedOut || run.exitCode != kAnotherInstallation || !logged) {
    kit.report->Fail(name, Ended(run) + ", expected 1618 with no message box, logged as session 0");
  } else {
    kit.report->Pass(name, Ended(run) + " without a message box");
  }
}

// SYSTEM's log goes where GetTempPath2W says, where kernel32 has it.
void CheckSystemTemp(const KitPlace& kit) {
  const char* const name = "system-temp-folder";
  if (!kit.Wanted(name)) return;
  if (!RunsAsSystem()) {
    kit.report->Skip(name, "needs SYSTEM; " + AsSystemCommand(kit, "session-0,system-temp-folder"));
    return;
  }
  using TempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
  const auto tempPath2 = reinterpret_cast<TempPath2>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD length = tempPath2 != nullptr ? tempPath2(MAX_PATH + 1, folder)
                                            : GetTempPathW(MAX_PATH + 1, folder);
  std::wstring expected(folder, length);
  if (!expected.empty() && expected.back() == L'\\') expected.pop_back();
  const std::set<std::wstring> before = LogsIn(expected);
  LauncherRun run =
      RunLauncher(kit, LayOutPatchFolder(kit, L"system-temp", L"Hostrel"), L"/qn", std::wstring());
  run.log = TakeNewLog(expected, before);
  if (run.log.empty() || run.log.find("Log folder: ") != std::string::npos) {
    kit.report->Fail(name, "no log of its own in " + Utf8(expected) + "; " + Ended(run));
  } else {
    kit.report->Pass(name, "the log is in " + Utf8(expected));
  }
}

// Where the volume makes no short names the long path is taken, and a
// patch path holding ';' is refused before anything changes.
void CheckNoShortNames(const KitPlace& kit) {
  const char* const name = "short-names-off";
  if (!kit.Wanted(name)) return;
  const std::wstring spaced = LayOutPatchFolder(kit, L"Patch Files", L"Hostrel");
  if (ShortForm(spaced) != spaced) {
    kit.report->Skip(name, "this volume makes short names; run the kit with --work on a volume "
                           "where \"fsutil 8dot3name query <drive>:\" says they are off");
    return;
  }
  const LauncherRun spacedRun = RunLauncher(kit, spaced, L"/qn");
  const std::string longForm = Utf8(spaced) + "\\";
  const bool longTwice =
      spacedRun.log.find("Patch folder: " + longForm + ", short form " + longForm) !=
      std::string::npos;
  const LauncherRun semicolon =
      RunLauncher(kit, LayOutPatchFolder(kit, L"Patch;Files", L"Hostrel"), L"/qn");
  if (!longTwice) {
    kit.report->Fail(name, "the log does not give the long form twice for " + longForm);
  } else if (semicolon.exitCode != kInvalidCommandLine ||
             semicolon.log.find("Patch package: its path") == std::string::npos) {
    kit.report->Fail(name, Ended(semicolon) + " in Patch;Files, expected 1639, nothing changed");
  } else {
    kit.report->Pass(name, "long paths taken; ';' refused with 1639");
  }
}

// msi.dll's functions by ordinal are the ones of their names, and the
// launcher reads a database's LanguagePackInstaller through them.
void CheckInstallerOrdinals(const KitPlace& kit) {
  const char* const name = "msi-ordinals";
  if (!kit.Wanted(name)) return;
  const std::string mismatch = OrdinalMismatch();
  if (!mismatch.empty()) {
    kit.report->Fail(name, mismatch);
    return;
  }
  const std::wstring folder = LayOutPatchFolder(kit, L"database", L"Hostrel");
  if (!MakeLanguagePackDatabase(folder + L"\\package.msi")) {
    kit.report->Fail(name, "an installer database could not be made with msi.dll");
    return;
  }
  const LauncherRun run = RunLauncher(kit, folder, L"/qn");
  if (run.log.find("LanguagePackInstaller \"1\"") == std::string::npos) {
    kit.report->Fail(name, "the log does not quote LanguagePackInstaller \"1\"; " + Ended(run));
  } else {
    kit.report->Pass(name, "ordinals agree with names; the database's value was read");
  }
}

}  // namespace

void RunSituationChecks(const KitPlace& kit) {
  CheckInstallerOrdinals(kit);
  CheckGuardedServiceRefusing(kit);
  CheckNoShortNames(kit);
  CheckSessionZero(kit);
  CheckSystemTemp(kit);
  if (kit.Wanted("launcher-mutex-other-account")) {
    kit.report->Skip("launcher-mutex-other-account",
                     "needs a second account: while Setup.exe /qn of one account waits on its "
                     "installer, start it as another (runas /user:<other> or the schtasks "
                     "command of session-0): the second ends with 1618, \"Another launcher is "
                     "running\" in its log");
  }
}

}  // namespace first_run
