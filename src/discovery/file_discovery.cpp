#include "discovery/file_discovery.h"

#include "platform/scoped_handle.h"
#include "shared/files_folder.h"

namespace setup {

bool FindFirstMatch(Platform& platform, const char* folder, const char* pattern, NarrowPath& name) {
  NarrowPath searchPath;
  if (!searchPath.assign(folder) || !searchPath.append(pattern)) return false;

  FindData match;
  const ScopedFindHandle search(platform, platform.FindFirstFileA(searchPath.c_str(), &match));
  if (!search.valid()) return false;

  // The record's name always fits; the terminator is set in case the
  // platform left none.
  match.fileName[sizeof match.fileName - 1] = '\0';
  return name.assign(match.fileName);
}

NarrowPath NarrowFilesFolder(const RunState& run) {
  NarrowPath folder = run.NarrowSourceFolder;
  if (folder.empty() || !folder.append(FilesFolderName.narrow)) folder.clear();
  return folder;
}

NarrowPath FindPatchPackageName(Platform& platform, const RunState& run) {
  NarrowPath name;
  const NarrowPath filesFolder = NarrowFilesFolder(run);
  if (!filesFolder.empty())
    FindFirstMatch(platform, filesFolder.c_str(), kPatchPackagePattern, name);
  return name;
}

}  // namespace setup
