#include "launcher/source_folder.h"

#include "platform/text_conversion.h"

namespace setup {

namespace {

// The platform reports the length copied when the text fits, else the size
// it would need; both mean failure when they reach the buffer's size.
template <std::size_t Capacity>
bool AdoptPlatformText(std::uint32_t reported, BoundedText<char, Capacity>& text) {
  if (reported == 0 || reported >= Capacity) {
    text.clear();
    return false;
  }
  text.adopt_written_text();
  return true;
}

}  // namespace

void CaptureSourceFolder(Platform& platform, RunState& run) {
  run.SourceFolder.clear();
  run.NarrowSourceFolder.clear();

  NarrowLongText longPath;
  const auto directoryLength = platform.GetCurrentDirectoryA(
      static_cast<std::uint32_t>(longPath.capacity()), longPath.writable_buffer());
  if (!AdoptPlatformText(directoryLength, longPath)) return;
  if (!longPath.ends_with('\\') && !longPath.append('\\')) return;

  NarrowLongText shortPath;
  const auto shortLength =
      platform.GetShortPathNameA(longPath.c_str(), shortPath.writable_buffer(),
                                 static_cast<std::uint32_t>(shortPath.capacity()));
  const NarrowLongText& chosen = AdoptPlatformText(shortLength, shortPath) ? shortPath : longPath;

  if (!ConvertToWide(platform, CP_ACP, MB_PRECOMPOSED, chosen.c_str(), run.SourceFolder) ||
      run.SourceFolder.empty()) {
    return;
  }
  // Left empty when it does not fit: the narrow steps then do nothing.
  static_cast<void>(ConvertToNarrow(platform, CP_ACP, run.SourceFolder.c_str(),
                                    run.SourceFolder.length() - 1, run.NarrowSourceFolder));
}

}  // namespace setup
