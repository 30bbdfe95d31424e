// Reading the process's own state: environment variables, current directory
// and other texts Windows hands out through a caller-sized buffer.
#ifndef SETUP_TESTS_WINE_TOOLS_ENVIRONMENT_H
#define SETUP_TESTS_WINE_TOOLS_ENVIRONMENT_H

#include <string>

namespace wine_tools {

// Calls `fill(buffer, capacity)` -- a Win32 getter that returns the length
// written (without terminator) or, when the buffer is too small, the size it
// needs -- with a growing buffer until the text fits. Empty on failure.
template <typename Fill>
std::wstring ReadGrowingText(Fill fill) {
  std::wstring text(260, L'\0');  // MAX_PATH
  for (int attempt = 0; attempt < 8; ++attempt) {
    const auto capacity = static_cast<unsigned long>(text.size());
    const auto result = static_cast<unsigned long>(fill(&text[0], capacity));
    if (result == 0) return std::wstring();
    if (result < capacity) {
      text.resize(result);
      return text;
    }
    text.assign(static_cast<std::size_t>(result) + 1, L'\0');
  }
  return std::wstring();
}

// Stores the value of environment variable `name` in `value` and returns
// true; returns false (value emptied) when the variable is not set.
bool ReadEnvironment(const wchar_t* name, std::wstring& value);

// The process's current directory as GetCurrentDirectoryW gives it; empty on
// failure.
std::wstring CurrentDirectory();

// The full path of this program's file (GetModuleFileNameW); empty on failure.
std::wstring ModulePath();

// The system folder as GetSystemDirectoryW gives it to this process; empty on
// failure.
std::wstring SystemDirectory();

// True when something exists at `path` (file or folder).
bool PathExists(const std::wstring& path);

}  // namespace wine_tools

#endif  // SETUP_TESTS_WINE_TOOLS_ENVIRONMENT_H
