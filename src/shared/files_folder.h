// The patch folder's subfolder holding the patch package and transforms.
#ifndef SETUP_SHARED_FILES_FOLDER_H
#define SETUP_SHARED_FILES_FOLDER_H

#include "platform/platform.h"

namespace setup {

struct FilesFolderSpellings {
  const WideChar* wide;  // "Files\", joined directly after SourceFolder
  const char* narrow;    // "\Files\", joined after NarrowSourceFolder
};
inline constexpr FilesFolderSpellings FilesFolderName = {u"Files\\", "\\Files\\"};

}  // namespace setup

#endif  // SETUP_SHARED_FILES_FOLDER_H
