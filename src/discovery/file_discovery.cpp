#include "discovery/file_discovery.h"

#include <iterator>

#include "platform/scoped_handle.h"
#include "shared/files_folder.h"

namespace setup {

bool FindFirstMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                    WidePath& name) {
  WidePath searchPath;
  if (!searchPath.assign(folder) || !searchPath.append(pattern)) return false;

  WideFindData match;
  const ScopedFindHandle search(platform, platform.FindFirstFileW(searchPath.c_str(), &match));
  if (!search.valid()) return false;

  // The record's name always fits; the terminator is set in case the
  // platform left none.
  match.fileName[std::size(match.fileName) - 1] = u'\0';
  return name.assign(match.fileName);
}

WidePath FilesFolderPath(const RunState& run) {
  WidePath folder = run.SourceFolderPath;
  if (folder.empty() || !folder.append(FilesFolderName.afterSourceFolderPath)) folder.clear();
  return folder;
}

WidePath FindPatchPackageName(Platform& platform, const RunState& run) {
  WidePath name;
  const WidePath filesFolder = FilesFolderPath(run);
  // No match leaves the name empty, which callers take for no package.
  if (!filesFolder.empty()) {
    static_cast<void>(FindFirstMatch(platform, filesFolder.c_str(), kPatchPackagePattern, name));
  }
  return name;
}

}  // namespace setup
