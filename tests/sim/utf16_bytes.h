// Registry string data as Windows stores it: UTF-16 little-endian.
#ifndef SETUP_TESTS_SIM_UTF16_BYTES_H
#define SETUP_TESTS_SIM_UTF16_BYTES_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setup::sim {

// The units of `text` as little-endian bytes; with a terminating zero unit
// when `terminated`.
inline std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text, bool terminated = true) {
  std::vector<std::uint8_t> bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// The bytes read back as units; an odd last byte counts as a unit of its own.
inline std::u16string Utf16Text(const std::vector<std::uint8_t>& bytes) {
  std::u16string text;
  for (std::size_t at = 0; at < bytes.size(); at += 2) {
    const unsigned high = at + 1 < bytes.size() ? bytes[at + 1] : 0;
    text.push_back(static_cast<char16_t>(bytes[at] | (high << 8)));
  }
  return text;
}

// ASCII text (key paths, keywords) in the narrow form the set-up calls
// take; any other unit becomes '?'.
inline std::string AsciiText(std::u16string_view text) {
  std::string narrow;
  for (const char16_t unit : text) narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  return narrow;
}

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_UTF16_BYTES_H
