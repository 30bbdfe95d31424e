// Reading the process's own state: environment variables, current directory
// and other texts Windows hands out through a caller-sized buffer.
#ifndef SETUP_TESTS_WINE_TOOLS_ENVIRONMENT_H
#define SETUP_TESTS_WINE_TOOLS_ENVIRONMENT_H

#include <string>

namespace wine_tools {

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
