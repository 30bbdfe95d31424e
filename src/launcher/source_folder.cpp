#include "launcher/source_folder.h"

#include "shared/log_events.h"

namespace setup {

void CaptureSourceFolder(Platform& platform, RunState& run) {
  run.SourceFolder.clear();
  run.SourceFolderPath.clear();
  run.CurrentDirectory.clear();
  // The patch package is looked for in the folder captured now.
  run.Packages.reset();
  run.LanguagePack.reset();
  run.ArgumentsExpansion.reset();  // %CD% is the directory captured now

  // In UTF-16 throughout: a code page would turn what it cannot spell into "?", and in a two-byte
  // code page the second byte of a character can be a backslash.
  WideLongText longPath;
  if (!longPath.adopt_reported_text(
          platform.GetCurrentDirectoryW(longPath.writable_size(), longPath.writable_buffer())) ||
      (!longPath.ends_with(u'\\') && !longPath.append(u'\\'))) {
    Tell(run, LogEvent::PatchFolderUnreadable, {longPath.writable_size() - 2});
    return;
  }

  // As a prompt's %CD% names it: no backslash at the end but a drive's.
  const bool driveRoot = longPath.length() == 3 && longPath.c_str()[1] == u':';
  static_cast<void>(
      run.CurrentDirectory.append(longPath.c_str(), longPath.length() - (driveRoot ? 0 : 1)));

  if (!run.SourceFolder.adopt_reported_text(
          platform.GetShortPathNameW(longPath.c_str(), run.SourceFolder.writable_buffer(),
                                     run.SourceFolder.writable_size()))) {
    run.SourceFolder = longPath;
  }

  // Left empty when it does not fit: the steps that build paths then do nothing.
  static_cast<void>(
      run.SourceFolderPath.append(run.SourceFolder.c_str(), run.SourceFolder.length() - 1));
  Tell(run, run.SourceFolderPath.empty() ? LogEvent::PatchFolderTooLong : LogEvent::PatchFolder,
       {longPath.c_str(), run.SourceFolder.c_str()});
}

}  // namespace setup
