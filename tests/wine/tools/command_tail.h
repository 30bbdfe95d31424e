// Splitting a Windows command line into program name and tail.
#ifndef SETUP_TESTS_WINE_TOOLS_COMMAND_TAIL_H
#define SETUP_TESTS_WINE_TOOLS_COMMAND_TAIL_H

#include <string>
#include <vector>

namespace wine_tools {

// Returns the text of `command_line` after its program name and the blanks
// and tabs that follow it. The name ends at its closing double quote when it
// starts with one, else at the first blank or tab, as the C runtime splits
// it. Points into `command_line`; an empty text when there is no tail.
const wchar_t* SkipProgramName(const wchar_t* command_line);

// The blank- or tab-separated words of `text`; no quoting, which the tools'
// own arguments never need.
std::vector<std::wstring> SplitWords(const wchar_t* text);

}  // namespace wine_tools

#endif  // SETUP_TESTS_WINE_TOOLS_COMMAND_TAIL_H
