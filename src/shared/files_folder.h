// The patch folder's subfolder holding the patch package and transforms.
#ifndef SETUP_SHARED_FILES_FOLDER_H
#define SETUP_SHARED_FILES_FOLDER_H

#include "platform/platform.h"

namespace setup {

struct FilesFolderSpellings {
  const WideChar* afterSourceFolder;      // "Files\", joined directly after SourceFolder
  const WideChar* afterSourceFolderPath;  // "\Files\", joined after SourceFolderPath
};
inline constexpr FilesFolderSpellings FilesFolderName = {u"Files\\", u"\\Files\\"};

}  // namespace setup

#endif  // SETUP_SHARED_FILES_FOLDER_H
