#include "platform/text_conversion.h"

#include <climits>

namespace setup {

namespace {

// The platform counts in int; anything larger is refused rather than cut.
bool FitsInt(std::size_t count) { return count <= static_cast<std::size_t>(INT_MAX); }

}  // namespace

bool ConvertToWide(Platform& platform, std::uint32_t codePage, std::uint32_t flags,
                   const char* source, std::size_t count, WideChar* target,
                   std::size_t targetCapacity) {
  target[0] = WideChar{};
  if (count == 0) return true;
  // One unit stays free for the terminator, which the platform does not
  // write when it is given an explicit length.
  if (targetCapacity < 2 || !FitsInt(count) || !FitsInt(targetCapacity)) return false;
  const int written = platform.MultiByteToWideChar(codePage, flags, source, static_cast<int>(count),
                                                   target, static_cast<int>(targetCapacity - 1));
  if (written <= 0) {
    target[0] = WideChar{};
    return false;
  }
  target[written] = WideChar{};
  return true;
}

bool ConvertToNarrow(Platform& platform, std::uint32_t codePage, const WideChar* source,
                     std::size_t count, char* target, std::size_t targetCapacity) {
  target[0] = '\0';
  if (count == 0) return true;
  if (targetCapacity < 2 || !FitsInt(count) || !FitsInt(targetCapacity)) return false;
  const int written = platform.WideCharToMultiByte(codePage, 0, source, static_cast<int>(count),
                                                   target, static_cast<int>(targetCapacity - 1));
  if (written <= 0) {
    target[0] = '\0';
    return false;
  }
  target[written] = '\0';
  return true;
}

}  // namespace setup
