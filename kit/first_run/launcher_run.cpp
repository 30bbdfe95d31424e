#include <cstdlib>
#include <optional>
#include <vector>

#include "kit_checks.h"
#include "kit_machine.h"

namespace first_run {

namespace {

constexpr DWORD kLauncherLimitMs = 180000;  // the real installer included
constexpr wchar_t kLogPattern[] = L"QuarrixPatchSetup_*.log";

}  // namespace

std::wstring LayOutPatchFolder(const KitPlace& kit, const std::wstring& name,
                               const std::wstring& keyword) {
  const std::wstring folder = kit.work + L"\\" + name;
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"\\Files").c_str(), nullptr);
  CopyFileW((kit.kitFolder + L"\\Setup.exe").c_str(), (folder + L"\\Setup.exe").c_str(), FALSE);
  WriteFileBytes(folder + L"\\Files\\" + keyword + L"_Update.msp", "not an update package");
  WriteFileBytes(folder + L"\\Files\\1033.mst", "not a transform");
  return folder;
}

std::set<std::wstring> LogsIn(const std::wstring& folder) {
  const std::vector<std::wstring> names = FilesIn(folder, kLogPattern);
  return std::set<std::wstring>(names.begin(), names.end());
}

std::string TakeNewLog(const std::wstring& folder, const std::set<std::wstring>& before) {
  std::string text;
  // Names sort by the time they were made; the last new one is this run's.
  for (const std::wstring& name : LogsIn(folder)) {
    if (before.count(name) != 0) continue;
    const std::wstring path = folder + L"\\" + name;
    text = ReadFileBytes(path).value_or(std::string());
    DeleteFileW(path.c_str());
  }
  return text;
}

LauncherRun RunLauncher(const KitPlace& kit, const std::wstring& folder, const std::wstring& tail,
                        const std::optional<std::wstring>& tempFolder) {
  std::wstring logFolder = tempFolder.value_or(std::wstring());
  if (!tempFolder) {
    CreateDirectoryW((kit.work + L"\\logs").c_str(), nullptr);
    logFolder = kit.work + L"\\logs\\" + folder.substr(folder.rfind(L'\\') + 1);
    CreateDirectoryW(logFolder.c_str(), nullptr);
  }
  const std::set<std::wstring> before =
      logFolder.empty() ? std::set<std::wstring>() : LogsIn(logFolder);
  LauncherRun run;
  {
    // An empty folder leaves the temporary folder to the account.
    std::optional<ScopedVariable> tmp;
    std::optional<ScopedVariable> temp;
    if (!logFolder.empty()) {
      tmp.emplace(L"TMP", logFolder);
      temp.emplace(L"TEMP", logFolder);
    }
    const std::wstring setup = folder + L"\\Setup.exe";
    const ProcessEnd end =
        RunAndWait(setup, L"\"" + setup + L"\" " + tail, folder, kLauncherLimitMs);
    run.startError = end.startError;
    run.timedOut = end.timedOut;
    run.exitCode = end.exitCode;
  }
  if (!logFolder.empty()) run.log = TakeNewLog(logFolder, before);
  return run;
}

std::optional<unsigned long> SummaryNumber(const std::string& log, const char* field) {
  const std::size_t summary = log.rfind("Summary: ");
  if (summary == std::string::npos) return std::nullopt;
  const std::size_t at = log.find(std::string(" ") + field + "=", summary);
  const std::size_t lineEnd = log.find('\n', summary);
  if (at == std::string::npos || (lineEnd != std::string::npos && at > lineEnd)) {
    return std::nullopt;
  }
  const char* const digits = log.c_str() + at + 2 + std::string(field).size();
  if (*digits < '0' || *digits > '9') return std::nullopt;
  return std::strtoul(digits, nullptr, 10);
}

}  // namespace first_run
