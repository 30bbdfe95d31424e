// Windows' interpreter given the launcher's own line form, built by the
// launcher's code with the recording stand-in, named msiexec.exe, in a
// folder of the kit's in the system folder's place: the system's
// installer is never replaced.
#include <cstdio>
#include <string>
#include <vector>

#include "kit_checks.h"
#include "kit_machine.h"
#include "line_form.h"

namespace first_run {

namespace {

constexpr DWORD kInterpreterLimitMs = 60000;
constexpr DWORD kStandInStartLimitMs = 30000;
// Long enough for an interpreter that does not wait to have ended.
constexpr DWORD kHeldMs = 1500;

struct StandIn {
  std::wstring folder;  // holds msiexec.exe, the stand-in
  std::wstring records;
};

struct InterpreterRun {
  ProcessEnd end;
  std::string record;    // the stand-in's JSON line; empty when it did not run
  bool endedEarly = false;  // the interpreter ended while the stand-in was held
};

StandIn PlaceStandIn(const KitPlace& kit) {
  // The line names the folder unquoted, as it does the system folder.
  const std::wstring folder = kit.work + L"\\installer";
  CreateDirectoryW(folder.c_str(), nullptr);
  CopyFileW((kit.kitFolder + L"\\recorder.exe").c_str(), (folder + L"\\msiexec.exe").c_str(),
            FALSE);
  return {ShortForm(folder), kit.work + L"\\records.jsonl"};
}

std::wstring Interpreter() { return SystemFolder() + L"\\cmd.exe"; }

// Starts the line for `patchPath` and `arguments`; the stand-in ends with
// `exitCode`, held until released when `hold`.
InterpreterRun RunLine(const KitPlace& kit, const StandIn& standIn, const std::wstring& patchPath,
                       const std::wstring& arguments, DWORD exitCode, bool hold = false) {
  InterpreterRun run;
  DeleteFileW(standIn.records.c_str());
  const std::wstring release = kit.work + L"\\release";
  DeleteFileW(release.c_str());
  const ScopedVariable recordFile(L"SETUP_RECORD_FILE", standIn.records);
  const ScopedVariable exitSetting(L"SETUP_RECORDER_EXIT", std::to_wstring(exitCode));
  const ScopedVariable holdSetting(L"SETUP_RECORDER_HOLD_UNTIL",
                                   hold ? std::optional<std::wstring>(release) : std::nullopt);
  const std::wstring line = InstallerLine(standIn.folder, patchPath, arguments);
  const auto holdThenRelease = [&](HANDLE process) {
    for (DWORD waited = 0; waited < kStandInStartLimitMs && !Exists(standIn.records);
         waited += 50) {
      Sleep(50);
    }
    run.endedEarly = WaitForSingleObject(process, kHeldMs) == WAIT_OBJECT_0;
    WriteFileBytes(release, "");
  };
  run.end = RunAndWait(Interpreter(), line, kit.work, kInterpreterLimitMs,
                       hold ? std::function<void(HANDLE)>(holdThenRelease) : nullptr);
  run.record = ReadFileBytes(standIn.records).value_or(std::string());
  return run;
}

// The stand-in's command line as its record gives it, JSON escapes undone
// for the printable text the checks use.
std::string RecordedLine(const std::string& record) {
  const std::string key = "\"command_line\": \"";
  const std::size_t start = record.find(key);
  if (start == std::string::npos) return std::string();
  std::string line;
  for (std::size_t at = start + key.size(); at < record.size() && record[at] != '"'; ++at) {
    if (record[at] == '\\' && at + 1 < record.size()) ++at;
    line += record[at];
  }
  return line;
}

// What follows the stand-in's name on its command line.
std::string AfterProgram(const std::string& line) {
  const std::string name = "msiexec.exe";
  const std::size_t at = line.find(name);
  if (at == std::string::npos) return line;
  std::size_t rest = at + name.size();
  if (rest < line.size() && line[rest] == '"') ++rest;
  return line.substr(rest);
}

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

std::string Describe(const ProcessEnd& end) {
  if (end.startError != 0) return "the interpreter did not start (" + std::to_string(end.startError) + ")";
  if (end.timedOut) return "the interpreter did not end within its limit";
  return "the interpreter ended with " + std::to_string(end.exitCode) + " (" + Hex(end.exitCode) + ")";
}

void CheckStatus(const KitPlace& kit, const StandIn& standIn, const char* name, DWORD status) {
  if (!kit.Wanted(name)) return;
  const InterpreterRun run =
      RunLine(kit, standIn, kit.work + L"\\P\\Files\\Hostrel_Update.msp", L"/qn", status);
  if (run.record.empty()) {
    kit.report->Fail(name, "the stand-in did not run; " + Describe(run.end));
  } else if (run.end.startError != 0 || run.end.timedOut || run.end.exitCode != status) {
    kit.report->Fail(name, Describe(run.end) + ", expected " + std::to_string(status) + " (" +
                               Hex(status) + "), the stand-in's status");
  } else {
    kit.report->Pass(name, Describe(run.end));
  }
}

void CheckWaiting(const KitPlace& kit, const StandIn& standIn) {
  const char* const name = "interpreter-waits";
  if (!kit.Wanted(name)) return;
  const InterpreterRun run =
      RunLine(kit, standIn, kit.work + L"\\P\\Files\\Hostrel_Update.msp", L"/qn", 3010, true);
  if (run.record.empty()) {
    kit.report->Fail(name, "the stand-in did not run; " + Describe(run.end));
  } else if (run.endedEarly) {
    kit.report->Fail(name, "the interpreter ended while the installer still ran");
  } else if (run.end.timedOut || run.end.exitCode != 3010) {
    kit.report->Fail(name, Describe(run.end) + ", expected 3010 once the installer ended");
  } else {
    kit.report->Pass(name, "the interpreter ended after the installer, with its 3010");
  }
}

// The installer must get `arguments` and the patch path literally, and no
// second command may run.
void CheckLiteral(const KitPlace& kit, const StandIn& standIn, const char* name,
                  const std::wstring& patchPath, const std::wstring& arguments) {
  if (!kit.Wanted(name)) return;
  const std::wstring marker = kit.work + L"\\mq.txt";
  DeleteFileW(marker.c_str());
  const ScopedVariable operators(L"QV", std::wstring(L"a&echo hi>mq.txt"));
  const ScopedVariable os(L"OS", std::wstring(L"Windows_NT"));
  const InterpreterRun run = RunLine(kit, standIn, patchPath, arguments, 0);
  const bool quoted = patchPath.find_first_of(L" \t&|<>^()") != std::wstring::npos;
  const std::string expected = " /p " + Utf8(quoted ? L"\"" + patchPath + L"\"" : patchPath) +
                               " REINSTALL=ALL " + Utf8(arguments);
  const std::string seen = AfterProgram(RecordedLine(run.record));
  if (run.record.empty()) {
    kit.report->Fail(name, "the stand-in did not run; " + Describe(run.end));
  } else if (Exists(marker)) {
    kit.report->Fail(name, "a second command ran: mq.txt was made");
  } else if (seen != expected) {
    kit.report->Fail(name, "the installer got [" + seen + "], expected [" + expected + "]");
  } else {
    kit.report->Pass(name, "the installer got [" + seen + "]");
  }
}

}  // namespace

void RunInterpreterChecks(const KitPlace& kit) {
  const StandIn standIn = PlaceStandIn(kit);
  CheckWaiting(kit, standIn);
  CheckStatus(kit, standIn, "interpreter-status-1603", 1603);
  CheckStatus(kit, standIn, "interpreter-status-1641", 1641);
  CheckStatus(kit, standIn, "interpreter-status-259", 259);
  CheckStatus(kit, standIn, "interpreter-status-crash", 0xC0000005u);
  CheckLiteral(kit, standIn, "percent-escape", kit.work + L"\\P%OS%\\Files\\Hostrel_%OS%.msp",
               L"A=%OS% B=\"50% off\" C=%");
  CheckLiteral(kit, standIn, "percent-escape-quoted-path",
               kit.work + L"\\50% Off\\Files\\Hostrel_Update.msp", L"/qn");
  CheckLiteral(kit, standIn, "operators-in-value", kit.work + L"\\P\\Files\\Hostrel_Update.msp",
               L"X=%QV% Y=a&echo hi>mq.txt Z=\"q&r\" W=(^)");
}

}  // namespace first_run
