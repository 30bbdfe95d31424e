// first-run.exe: run once on a Windows machine as an administrator, it
// checks what the launcher relies on of Windows and Wine cannot show,
// prints PASS, FAIL or SKIP per check, writes the same as JSON and ends
// with the count of failures. Everything it lays out is removed and every
// registry value it sets is put back.
//
//   first-run.exe [--json <file>] [--work <folder>] [--only <check>,<check>...]
#include <cstdio>
#include <set>
#include <string>

#include "check_report.h"
#include "kit_checks.h"
#include "kit_machine.h"

namespace {

using first_run::CheckReport;
using first_run::KitPlace;

// Checks whose Wine result differs from Windows', each for a reason its
// documentation gives; under Wine their failures are not counted.
const std::set<std::string> kWineDifferences = {
    "interpreter-status-259",   // Wine's cmd /C turns 259 into 0
    "guarded-service-refused",  // Wine's service manager ignores a service's descriptor
};

constexpr int kUsageError = -1;

std::set<std::string> SplitNames(const std::wstring& list) {
  std::set<std::string> names;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(L',', start);
    if (end == std::wstring::npos) end = list.size();
    if (end > start) names.insert(first_run::Utf8(list.substr(start, end - start)));
    start = end + 1;
  }
  return names;
}

struct Options {
  std::wstring json = L"first-run-results.json";
  std::wstring workRoot;
  std::set<std::string> only;
};

// False for anything but pairs of known options.
bool ReadOptions(int argc, wchar_t** argv, Options& options) {
  if (argc % 2 == 0) return false;
  for (int at = 1; at + 1 < argc; at += 2) {
    const std::wstring option = argv[at];
    if (option == L"--json") {
      options.json = argv[at + 1];
    } else if (option == L"--work") {
      options.workRoot = argv[at + 1];
    } else if (option == L"--only") {
      options.only = SplitNames(argv[at + 1]);
    } else {
      return false;
    }
  }
  // The stand-in's folder takes the system folder's place on the line,
  // unquoted: a folder with a blank (short names off) will not do.
  if (options.workRoot.empty()) options.workRoot = first_run::ShortForm(first_run::TempFolder());
  if (options.workRoot.find_first_of(L" \t&|<>^()%") != std::wstring::npos) {
    options.workRoot = first_run::WindowsFolder() + L"\\Temp";
  }
  return true;
}

void RunChecks(const KitPlace& kit) {
  if (!first_run::Exists(kit.kitFolder + L"\\Setup.exe") ||
      !first_run::Exists(kit.kitFolder + L"\\recorder.exe")) {
    kit.report->Fail("kit-complete", "Setup.exe and recorder.exe must be beside first-run.exe");
  } else if (!first_run::RunsElevated()) {
    kit.report->Fail("kit-complete", "not run as an administrator: open the prompt with \"Run as "
                                     "administrator\" (the checks register, set and make what "
                                     "only an administrator may)");
  } else if (!CreateDirectoryW(kit.work.c_str(), nullptr)) {
    kit.report->Fail("kit-complete", "the work folder could not be made");
  } else {
    first_run::RunInterpreterChecks(kit);
    first_run::RunLauncherChecks(kit);
    first_run::RunSituationChecks(kit);
    first_run::RemoveTree(kit.work);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ReadOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: first-run.exe [--json <file>] [--work <folder>] [--only <checks>]\n");
    return kUsageError;
  }
  const bool underWine = first_run::UnderWine();
  CheckReport report(underWine, kWineDifferences);
  KitPlace kit;
  kit.kitFolder = first_run::ModuleFolder();
  kit.kitExe = kit.kitFolder + L"\\first-run.exe";
  kit.work = options.workRoot + L"\\first-run-" + std::to_wstring(GetCurrentProcessId());
  kit.report = &report;
  kit.only = options.only;
  std::printf("first-run: %s, work folder %s\n", underWine ? "under Wine" : "on Windows",
              first_run::Utf8(kit.work).c_str());
  RunChecks(kit);
  if (!first_run::WriteFileBytes(options.json, report.Json())) {
    std::fprintf(stderr, "error: %s could not be written\n", first_run::Utf8(options.json).c_str());
  }
  const int failures = report.CountedFailures();
  std::printf("first-run: %d failure%s\n", failures, failures == 1 ? "" : "s");
  return failures;
}
