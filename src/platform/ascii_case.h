// Letter case the way the launcher compares registry values and switches:
// ASCII letters only, whatever the code page.
#ifndef SETUP_PLATFORM_ASCII_CASE_H
#define SETUP_PLATFORM_ASCII_CASE_H

#include <cstddef>
#include <cstring>

namespace setup {

// `c` with A to Z lowered; every other byte as it is.
inline char LowerAsciiLetter(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether the `length` bytes at `text` and at `other` differ only in the
// letter case of A to Z.
inline bool EqualsIgnoringAsciiCase(const char* text, const char* other, std::size_t length) {
  for (std::size_t at = 0; at < length; ++at) {
    if (LowerAsciiLetter(text[at]) != LowerAsciiLetter(other[at])) return false;
  }
  return true;
}

// Whether zero-terminated `text` holds `part` anywhere, ignoring the
// letter case of A to Z. The empty part is in every text.
inline bool ContainsIgnoringAsciiCase(const char* text, const char* part) {
  const std::size_t textLength = std::strlen(text);
  const std::size_t partLength = std::strlen(part);
  for (std::size_t start = 0; start + partLength <= textLength; ++start) {
    if (EqualsIgnoringAsciiCase(text + start, part, partLength)) return true;
  }
  return false;
}

// Whether zero-terminated `text` ends with `suffix`, ignoring the letter
// case of A to Z.
inline bool EndsWithIgnoringAsciiCase(const char* text, const char* suffix) {
  const std::size_t textLength = std::strlen(text);
  const std::size_t suffixLength = std::strlen(suffix);
  return textLength >= suffixLength &&
         EqualsIgnoringAsciiCase(text + textLength - suffixLength, suffix, suffixLength);
}

}  // namespace setup

#endif  // SETUP_PLATFORM_ASCII_CASE_H
