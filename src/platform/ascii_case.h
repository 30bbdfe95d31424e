// Letter case the way the launcher compares registry values and switches:
// ASCII letters only, whatever the language. Works on UTF-16 units.
#ifndef SETUP_PLATFORM_ASCII_CASE_H
#define SETUP_PLATFORM_ASCII_CASE_H

#include <cstddef>

#include "platform/bounded_text.h"
#include "platform/platform.h"

namespace setup {

// `c` with A to Z lowered; every other unit as it is.
inline WideChar LowerAsciiLetter(WideChar c) {
  return c >= u'A' && c <= u'Z' ? static_cast<WideChar>(c - u'A' + u'a') : c;
}

// Whether the `length` units at `text` and at `other` differ only in the
// letter case of A to Z.
inline bool EqualsIgnoringAsciiCase(const WideChar* text, const WideChar* other,
                                    std::size_t length) {
  for (std::size_t at = 0; at < length; ++at) {
    if (LowerAsciiLetter(text[at]) != LowerAsciiLetter(other[at])) return false;
  }
  return true;
}

// Whether zero-terminated `text` holds `part` anywhere, ignoring the
// letter case of A to Z. The empty part is in every text.
inline bool ContainsIgnoringAsciiCase(const WideChar* text, const WideChar* part) {
  const std::size_t textLength = TextLength(text);
  const std::size_t partLength = TextLength(part);
  for (std::size_t start = 0; start + partLength <= textLength; ++start) {
    if (EqualsIgnoringAsciiCase(text + start, part, partLength)) return true;
  }
  return false;
}

// Whether zero-terminated `text` ends with `suffix`, ignoring the letter
// case of A to Z.
inline bool EndsWithIgnoringAsciiCase(const WideChar* text, const WideChar* suffix) {
  const std::size_t textLength = TextLength(text);
  const std::size_t suffixLength = TextLength(suffix);
  return textLength >= suffixLength &&
         EqualsIgnoringAsciiCase(text + textLength - suffixLength, suffix, suffixLength);
}

// Whether `text` sorts before `other`: unit by unit, A to Z taken as a to
// z, a shorter text before a longer one it starts. The same order on every
// machine, whatever its file system returns.
inline bool SortsBeforeIgnoringAsciiCase(const WideChar* text, const WideChar* other) {
  for (; *text != u'\0' && LowerAsciiLetter(*text) == LowerAsciiLetter(*other); ++text, ++other) {
  }
  return LowerAsciiLetter(*text) < LowerAsciiLetter(*other);
}

}  // namespace setup

#endif  // SETUP_PLATFORM_ASCII_CASE_H
