// The patch folder the launcher was started from, captured once at start.
#ifndef SETUP_LAUNCHER_SOURCE_FOLDER_H
#define SETUP_LAUNCHER_SOURCE_FOLDER_H

#include "platform/bounded_text.h"
#include "platform/platform.h"

namespace setup {

// The current directory at start in short (8.3) form, ending in a
// backslash; empty when the current directory could not be had. Paths built
// from it go unquoted into the registry, so the short form matters.
extern WideLongText SourceFolder;

// The patch folder's subfolder holding the patch package and transforms.
struct FilesFolderSpellings {
  const WideChar* wide;  // "Files\", joined directly after SourceFolder
  const char* narrow;    // "\Files\", joined after a narrow source folder
};
inline constexpr FilesFolderSpellings FilesFolderName = {u"Files\\", "\\Files\\"};

// Fills SourceFolder from the current directory: one backslash is added
// unless the directory already ends in one (a drive root); the short form
// is taken when the platform has one, else the long path as it is. When the
// directory cannot be had or does not fit, SourceFolder stays empty.
void CaptureSourceFolder(Platform& platform);

}  // namespace setup

#endif  // SETUP_LAUNCHER_SOURCE_FOLDER_H
