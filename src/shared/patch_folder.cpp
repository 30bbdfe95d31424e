#include "shared/patch_folder.h"

#include "shared/log_events.h"

namespace setup {

PatchFolder CapturePatchFolder(Platform& platform, const RunState& run) {
  PatchFolder folder;
  // In UTF-16 throughout: a code page would turn what it cannot spell into "?", and in a two-byte
  // code page the second byte of a character can be a backslash.
  WideLongText longPath;
  if (!longPath.adopt_reported_text(
          platform.GetCurrentDirectoryW(longPath.writable_size(), longPath.writable_buffer())) ||
      (!longPath.ends_with(u'\\') && !longPath.append(u'\\'))) {
    Tell<LogEvent::PatchFolderUnreadable>(run, longPath.writable_size() - 2);
    return folder;
  }

  // As a prompt's %CD% names it: no backslash at the end but a drive's.
  const bool driveRoot = longPath.length() == 3 && longPath.c_str()[1] == u':';
  static_cast<void>(
      folder.currentDirectory.append(longPath.c_str(), longPath.length() - (driveRoot ? 0 : 1)));

  if (!folder.shortForm.adopt_reported_text(
          platform.GetShortPathNameW(longPath.c_str(), folder.shortForm.writable_buffer(),
                                     folder.shortForm.writable_size()))) {
    folder.shortForm = longPath;
  }

  static_cast<void>(folder.path.append(folder.shortForm.c_str(), folder.shortForm.length() - 1));
  Tell<LogEvent::PatchFolder>(run, longPath.c_str(), folder.shortForm.c_str(),
                              folder.path.empty() ? " (too long to build paths from)" : "");
  return folder;
}

}  // namespace setup
