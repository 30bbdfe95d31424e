// The checks the kit runs, grouped by what they start, and what they share.
#ifndef SETUP_KIT_FIRST_RUN_KIT_CHECKS_H
#define SETUP_KIT_FIRST_RUN_KIT_CHECKS_H

#include <windows.h>

#include <optional>
#include <set>
#include <string>

#include "check_report.h"

namespace first_run {

struct KitPlace {
  std::wstring kitFolder;  // Setup.exe and recorder.exe
  std::wstring work;       // the kit's temporary place, removed at its end
  std::wstring kitExe;     // this program, for the commands a skipped check names
  CheckReport* report = nullptr;
  std::set<std::string> only;  // the checks asked for; all when empty
  bool Wanted(const char* name) const { return only.empty() || only.count(name) != 0; }
};

// Through "cmd.exe /D /E:ON /V:OFF /C" with the recording stand-in in the
// installer's place: waiting, statuses, the line's escapes.
void RunInterpreterChecks(const KitPlace& kit);
// Setup.exe with the system's own installer, on a throwaway registration.
void RunLauncherChecks(const KitPlace& kit);
// Those that need SYSTEM, session 0, another account or a volume without
// short names: run where the machine allows, else skipped with the command.
void RunSituationChecks(const KitPlace& kit);
// A guarded service whose status the launcher's account may not ask.
void CheckGuardedServiceRefusing(const KitPlace& kit);

// One run of a copy of Setup.exe.
struct LauncherRun {
  DWORD startError = 0;
  bool timedOut = false;
  DWORD exitCode = 0;
  std::string log;  // the run log's text; empty when none was found
};

// A patch folder <work>\<name> holding a copy of Setup.exe,
// Files\<keyword>_Update.msp (not a real update package) and Files\1033.mst.
std::wstring LayOutPatchFolder(const KitPlace& kit, const std::wstring& name,
                               const std::wstring& keyword);
// Runs <folder>\Setup.exe with `tail`; its log goes to a fresh
// <work>\logs\<folder's name> unless `tempFolder` names another place
// (an empty one: the account's own, where the caller finds the log).
LauncherRun RunLauncher(const KitPlace& kit, const std::wstring& folder, const std::wstring& tail,
                        const std::optional<std::wstring>& tempFolder = std::nullopt);
// A number of the log's summary line ("exit", "installer"); none when absent.
std::optional<unsigned long> SummaryNumber(const std::string& log, const char* field);
// The newest launcher log in `folder` that `before` did not list, read and deleted.
std::string TakeNewLog(const std::wstring& folder, const std::set<std::wstring>& before);
std::set<std::wstring> LogsIn(const std::wstring& folder);

}  // namespace first_run

#endif  // SETUP_KIT_FIRST_RUN_KIT_CHECKS_H
