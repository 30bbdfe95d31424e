// Names compared the way Windows compares the launcher's names: ASCII
// letters fold to one case, every other unit compares as it is.
#ifndef SETUP_TESTS_SIM_ASCII_CASE_H
#define SETUP_TESTS_SIM_ASCII_CASE_H

#include <string>
#include <string_view>

namespace setup::sim {

// True when the texts are equal once ASCII letters are folded.
bool EqualsIgnoringAsciiCase(std::string_view left, std::string_view right);
bool EqualsIgnoringAsciiCase(std::u16string_view left, std::u16string_view right);

// The text with ASCII capitals made small: a key for case-insensitive maps.
std::u16string FoldedKey(std::u16string_view text);

// Whether `name` matches `pattern`, where '*' stands for any run of units
// and '?' for exactly one, ASCII case folded. "*.*" matches every name, dot
// or not, as it does in a Windows file search.
bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_ASCII_CASE_H
