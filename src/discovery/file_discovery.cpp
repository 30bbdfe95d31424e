#include "discovery/file_discovery.h"

#include "launcher/source_folder.h"
#include "platform/scoped_handle.h"
#include "platform/text_conversion.h"

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

NarrowPath NarrowSourceFolder(Platform& platform) {
  NarrowPath folder;
  if (SourceFolder.empty()) return folder;
  ConvertToNarrow(platform, CP_ACP, SourceFolder.c_str(), SourceFolder.length() - 1, folder);
  return folder;
}

NarrowPath NarrowFilesFolder(Platform& platform) {
  NarrowPath folder = NarrowSourceFolder(platform);
  if (folder.empty() || !folder.append(FilesFolderName.narrow)) folder.clear();
  return folder;
}

NarrowPath FindPatchPackageName(Platform& platform) {
  NarrowPath name;
  const NarrowPath filesFolder = NarrowFilesFolder(platform);
  if (!filesFolder.empty())
    FindFirstMatch(platform, filesFolder.c_str(), kPatchPackagePattern, name);
  return name;
}

}  // namespace setup
