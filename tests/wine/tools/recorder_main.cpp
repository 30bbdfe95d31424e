// recorder.exe: stands in for the installer (msiexec.exe) in the Wine tests.
//
// It appends one JSON line to the file named by SETUP_RECORD_FILE telling how
// it was started: its command line, current directory, own path, the system
// folder it sees, and the values named in SETUP_RECORD_VALUES (default
// "Transforms;TransformsBackup") of every key under HKEY_CLASSES_ROOT listed
// in SETUP_RECORD_KEYS; both lists are ';'-separated. Then,
// when SETUP_RECORDER_HOLD_UNTIL names a file, it waits until that file
// exists (bounded), so a test can look at the machine while the installer
// "runs". It exits with the decimal code in SETUP_RECORDER_EXIT (default 0).
// When SETUP_RECORDER_MUTEX names a mutex, it creates it owned before it
// records and holds it to its end, as the platform's installer holds
// Global\_MSIExecute while it executes a package.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "environment.h"
#include "json_line.h"
#include "registry_snapshot.h"
#include "scoped_handles.h"

namespace {

using wine_tools::JsonObject;

// Exit code when SETUP_RECORDER_EXIT is not a decimal 32-bit number; the
// record says why.
constexpr DWORD kBadExitSetting = 0xE0E0BAD0u;
// Exit code when the record file could not be written.
constexpr DWORD kRecordNotWritten = 0xE0E0BAD1u;
constexpr DWORD kHoldPollMilliseconds = 50;
constexpr DWORD kHoldLimitMilliseconds = 120000;

// Parses a decimal number from 0 to 4294967295; false for anything else.
bool ParseExitCode(const std::wstring& text, DWORD& code) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t value = 0;
  for (const wchar_t unit : text) {
    if (unit < L'0' || unit > L'9') return false;
    value = value * 10 + static_cast<std::uint64_t>(unit - L'0');
  }
  if (value > 0xFFFFFFFFull) return false;
  code = static_cast<DWORD>(value);
  return true;
}

std::vector<std::wstring> SplitList(const std::wstring& list) {
  std::vector<std::wstring> keys;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(L';', start);
    if (end == std::wstring::npos) end = list.size();
    if (end > start) keys.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return keys;
}

// Appends `line` and a line end to the file at `path` in one write.
bool AppendLine(const std::wstring& path, std::string line) {
  line += '\n';
  wine_tools::ScopedHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return ok != FALSE && written == line.size();
}

// Waits until something exists at `path`; false when the limit passed first.
bool HoldUntilExists(const std::wstring& path) {
  for (DWORD waited = 0; waited < kHoldLimitMilliseconds; waited += kHoldPollMilliseconds) {
    if (wine_tools::PathExists(path)) return true;
    Sleep(kHoldPollMilliseconds);
  }
  return wine_tools::PathExists(path);
}

DWORD Run() {
  JsonObject record;
  record.AddString("command_line", GetCommandLineW());
  record.AddString("current_directory", wine_tools::CurrentDirectory());
  record.AddString("module", wine_tools::ModulePath());
  record.AddString("system_directory", wine_tools::SystemDirectory());
  record.AddNumber("pid", GetCurrentProcessId());

  DWORD exit_code = 0;
  std::wstring exit_setting;
  if (wine_tools::ReadEnvironment(L"SETUP_RECORDER_EXIT", exit_setting) &&
      !ParseExitCode(exit_setting, exit_code)) {
    exit_code = kBadExitSetting;
    record.AddString("error",
                     L"SETUP_RECORDER_EXIT is not a decimal 32-bit number: " + exit_setting);
  }
  record.AddNumber("exit_code", exit_code);

  std::wstring key_list;
  wine_tools::ReadEnvironment(L"SETUP_RECORD_KEYS", key_list);
  std::wstring value_list;
  if (!wine_tools::ReadEnvironment(L"SETUP_RECORD_VALUES", value_list))
    value_list = L"Transforms;TransformsBackup";
  const std::vector<std::wstring> value_names = SplitList(value_list);
  std::string keys = "[";
  for (const std::wstring& key : SplitList(key_list)) {
    if (keys.size() > 1) keys += ", ";
    keys += wine_tools::SnapshotKey(key, value_names);
  }
  record.AddJson("keys", keys + "]");

  std::wstring hold_file;
  const bool hold =
      wine_tools::ReadEnvironment(L"SETUP_RECORDER_HOLD_UNTIL", hold_file) && !hold_file.empty();
  record.AddJson("holds", hold ? "true" : "false");

  std::wstring mutex_name;
  if (wine_tools::ReadEnvironment(L"SETUP_RECORDER_MUTEX", mutex_name) && !mutex_name.empty()) {
    // Never closed: the process's end gives it up.
    record.AddJson("mutex",
                   CreateMutexW(nullptr, TRUE, mutex_name.c_str()) != nullptr ? "true" : "false");
  }

  // Written before holding, so a test sees that the installer has started.
  std::wstring record_file;
  if (wine_tools::ReadEnvironment(L"SETUP_RECORD_FILE", record_file) && !record_file.empty() &&
      !AppendLine(record_file, record.Text())) {
    return kRecordNotWritten;
  }

  if (hold) HoldUntilExists(hold_file);
  return exit_code;
}

}  // namespace

int main() {
  // The C runtime hands the int on to ExitProcess unchanged, all 32 bits.
  return static_cast<int>(Run());
}
