// box_reader.exe: waits for a message box, tells what it says, and presses OK.
//
//   box_reader.exe [--image <file name>] [--timeout-ms <n>] [--leave-open]
//
// A message box is a visible top-level window of the dialog class "#32770";
// with --image, only one belonging to a process whose program file has that
// name (e.g. Setup.exe, letter case ignored). Once one is found it prints a
// line of ASCII JSON (non-ASCII as \uXXXX escapes):
//   {"caption": ..., "text": ..., "owner": 0 | n, "image": ..., "buttons":
//    [{"id": n, "text": ...}, ...]}
// where "text" is the text control's (id 0xFFFF), "owner" the owner window
// (0: none) and "buttons" the visible push buttons. Only then does it press
// OK, so a box that has gone away was always reported first; a second line
// {"closed": true | false} tells whether the box went away (false with
// --leave-open). Exit code 0.
// When none appears within the timeout (default 30000 ms) it prints
// {"error": ...} and exits with 1; bad arguments exit with 2.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "command_tail.h"
#include "json_line.h"
#include "scoped_handles.h"

namespace {

constexpr int kFound = 0;
constexpr int kNotFound = 1;
constexpr int kUsage = 2;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kDefaultTimeoutMilliseconds = 30000;
constexpr DWORD kCloseTimeoutMilliseconds = 10000;

struct Options {
  std::wstring image;  // empty: any process
  DWORD timeoutMilliseconds = kDefaultTimeoutMilliseconds;
  bool leaveOpen = false;
};

bool ParseMilliseconds(const std::wstring& text, DWORD& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (const wchar_t unit : text) {
    if (unit < L'0' || unit > L'9') return false;
    value = value * 10 + static_cast<DWORD>(unit - L'0');
  }
  return true;
}

bool ParseOptions(Options& options) {
  const std::vector<std::wstring> words =
      wine_tools::SplitWords(wine_tools::SkipProgramName(GetCommandLineW()));
  for (std::size_t index = 0; index < words.size(); ++index) {
    const std::wstring& word = words[index];
    const bool hasValue = index + 1 < words.size();
    if (word == L"--image" && hasValue) {
      options.image = words[++index];
    } else if (word == L"--timeout-ms" && hasValue) {
      if (!ParseMilliseconds(words[++index], options.timeoutMilliseconds)) return false;
    } else if (word == L"--leave-open") {
      options.leaveOpen = true;
    } else {
      return false;
    }
  }
  return true;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  const int length = GetClassNameW(window, name, static_cast<int>(sizeof name / sizeof name[0]));
  return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// The window text of `window` (its caption, for a top-level window).
std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

// The text of dialog item `id`, asked of the dialog's own thread.
std::wstring DialogItemText(HWND dialog, int id) {
  const HWND item = GetDlgItem(dialog, id);
  if (item == nullptr) return std::wstring();
  const LRESULT length = SendMessageW(item, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const UINT copied = GetDlgItemTextW(dialog, id, &text[0], static_cast<int>(length) + 1);
  text.resize(copied);
  return text;
}

// The file name (no folder) of the program that runs process `processId`;
// empty when it cannot be asked.
std::wstring ImageName(DWORD processId) {
  const wine_tools::ScopedHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process.valid()) return std::wstring();
  wchar_t path[MAX_PATH * 2] = {};
  DWORD size = static_cast<DWORD>(sizeof path / sizeof path[0]);
  if (!QueryFullProcessImageNameW(process.get(), 0, path, &size)) return std::wstring();
  const std::wstring full(path, size);
  const std::size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

std::wstring ImageOfWindow(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  return processId == 0 ? std::wstring() : ImageName(processId);
}

struct Search {
  const Options* options;
  HWND found = nullptr;
};

BOOL CALLBACK ConsiderWindow(HWND window, LPARAM context) {
  Search& search = *reinterpret_cast<Search*>(context);
  if (!IsWindowVisible(window) || ClassName(window) != L"#32770") return TRUE;
  if (!search.options->image.empty() &&
      _wcsicmp(ImageOfWindow(window).c_str(), search.options->image.c_str()) != 0) {
    return TRUE;
  }
  search.found = window;
  return FALSE;
}

HWND WaitForMessageBox(const Options& options) {
  const ULONGLONG end = GetTickCount64() + options.timeoutMilliseconds;
  for (;;) {
    Search search{&options};
    EnumWindows(ConsiderWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(kPollMilliseconds);
  }
}

struct ButtonList {
  std::string json = "[";
};

BOOL CALLBACK AddButton(HWND child, LPARAM context) {
  ButtonList& buttons = *reinterpret_cast<ButtonList*>(context);
  if (!IsWindowVisible(child) || _wcsicmp(ClassName(child).c_str(), L"Button") != 0) return TRUE;
  wine_tools::JsonObject button;
  button.AddNumber("id", static_cast<std::uint32_t>(GetDlgCtrlID(child)));
  button.AddString("text", WindowText(child));
  if (buttons.json.size() > 1) buttons.json += ", ";
  buttons.json += button.Text();
  return TRUE;
}

// Presses OK as a click would, then waits for the box to go away.
bool PressOk(HWND box) {
  const HWND ok = GetDlgItem(box, IDOK);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
  const ULONGLONG end = GetTickCount64() + kCloseTimeoutMilliseconds;
  while (IsWindow(box)) {
    if (GetTickCount64() >= end) return false;
    Sleep(kPollMilliseconds);
  }
  return true;
}

void PrintLine(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Run() {
  Options options;
  if (!ParseOptions(options)) {
    std::fprintf(stderr,
                 "usage: box_reader.exe [--image <file name>] [--timeout-ms <n>] [--leave-open]\n");
    return kUsage;
  }
  const HWND box = WaitForMessageBox(options);
  if (box == nullptr) {
    wine_tools::JsonObject error;
    error.AddString(
        "error", L"no message box within " + std::to_wstring(options.timeoutMilliseconds) + L" ms");
    PrintLine(error.Text());
    return kNotFound;
  }

  wine_tools::JsonObject report;
  report.AddString("caption", WindowText(box));
  report.AddString("text", DialogItemText(box, kMessageBoxTextId));
  report.AddNumber("owner", static_cast<std::uint64_t>(
                                reinterpret_cast<std::uintptr_t>(GetWindow(box, GW_OWNER))));
  report.AddString("image", ImageOfWindow(box));
  ButtonList buttons;
  EnumChildWindows(box, AddButton, reinterpret_cast<LPARAM>(&buttons));
  report.AddJson("buttons", buttons.json + "]");
  PrintLine(report.Text());

  wine_tools::JsonObject outcome;
  outcome.AddJson("closed", !options.leaveOpen && PressOk(box) ? "true" : "false");
  PrintLine(outcome.Text());
  return kFound;
}

}  // namespace

int main() { return Run(); }
