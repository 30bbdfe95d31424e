// terminator.exe: ends every process of one image with an exact exit code,
// as Windows ends a console program on Ctrl+C or a deployment tool's
// time-out may, so that the tests assert the code a killed process really
// has (taskkill /f under Wine ends it with 0).
//
//   terminator.exe <image name> <exit code, decimal or 0x hexadecimal>
//
// Prints the number of processes ended and exits with 0 when at least one
// was; 1 when none was found or one could not be ended; 2 for bad arguments.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "command_tail.h"
#include "scoped_handles.h"

namespace {

constexpr int kEnded = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

bool SameImage(const wchar_t* left, const std::wstring& right) {
  std::size_t at = 0;
  for (; left[at] != L'\0' && at < right.size(); ++at) {
    if (std::towlower(left[at]) != std::towlower(right[at])) return false;
  }
  return left[at] == L'\0' && at == right.size();
}

int Run() {
  const std::vector<std::wstring> words =
      wine_tools::SplitWords(wine_tools::SkipProgramName(GetCommandLineW()));
  if (words.size() != 2) return kUsage;
  wchar_t* end = nullptr;
  const unsigned long code = std::wcstoul(words[1].c_str(), &end, 0);
  if (end == words[1].c_str() || *end != L'\0') return kUsage;

  const wine_tools::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return kFailed;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int ended = 0;
  bool failed = false;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (!SameImage(entry.szExeFile, words[0])) continue;
    const wine_tools::ScopedHandle process(
        OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (process.valid() && TerminateProcess(process.get(), static_cast<UINT>(code))) {
      ++ended;
    } else {
      failed = true;
    }
  }
  std::printf("%d\n", ended);
  return ended > 0 && !failed ? kEnded : kFailed;
}

}  // namespace

int main() { return Run(); }
