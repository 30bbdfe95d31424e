// Code page conversions into fixed buffers, through the platform.
#ifndef SETUP_PLATFORM_TEXT_CONVERSION_H
#define SETUP_PLATFORM_TEXT_CONVERSION_H

#include <cstddef>

#include "platform/bounded_text.h"
#include "platform/platform.h"

namespace setup {

// Converts `count` units of `source` (not necessarily terminated) from
// `codePage` into `target`. False, with `target` empty, when the platform
// refuses or the result would not fit. An empty source gives an empty target.
bool ConvertToWide(Platform& platform, std::uint32_t codePage, std::uint32_t flags,
                   const char* source, std::size_t count, WideChar* target,
                   std::size_t targetCapacity);

// The same in the other direction; unconvertible characters become the
// code page's default character, as the platform does without flags.
bool ConvertToNarrow(Platform& platform, std::uint32_t codePage, const WideChar* source,
                     std::size_t count, char* target, std::size_t targetCapacity);

template <std::size_t Capacity>
bool ConvertToWide(Platform& platform, std::uint32_t codePage, std::uint32_t flags,
                   const char* source, BoundedText<WideChar, Capacity>& target) {
  const bool converted = ConvertToWide(platform, codePage, flags, source, TextLength(source),
                                       target.writable_buffer(), Capacity);
  target.adopt_written_text();
  return converted;
}

template <std::size_t Capacity>
bool ConvertToNarrow(Platform& platform, std::uint32_t codePage, const WideChar* source,
                     std::size_t count, BoundedText<char, Capacity>& target) {
  const bool converted =
      ConvertToNarrow(platform, codePage, source, count, target.writable_buffer(), Capacity);
  target.adopt_written_text();
  return converted;
}

}  // namespace setup

#endif  // SETUP_PLATFORM_TEXT_CONVERSION_H
