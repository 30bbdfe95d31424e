// Letter case the way the launcher compares registry values and switches:
// ASCII letters only, whatever the code page.
#ifndef SETUP_PLATFORM_ASCII_CASE_H
#define SETUP_PLATFORM_ASCII_CASE_H

#include <string>

namespace setup {

// `c` with A to Z lowered; every other byte as it is.
inline char LowerAsciiLetter(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with A to Z lowered.
inline std::string LowerAscii(std::string text) {
  for (char& c : text) c = LowerAsciiLetter(c);
  return text;
}

}  // namespace setup

#endif  // SETUP_PLATFORM_ASCII_CASE_H
