#include "discovery/file_discovery.h"

#include <iterator>

#include "platform/scoped_handle.h"
#include "shared/files_folder.h"

namespace setup {

std::uint32_t ForEachMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                           std::uint32_t most, MatchVisitor visit, void* context) {
  WidePath searchPath;
  if (!searchPath.assign(folder) || !searchPath.append(pattern)) return 0;
  WideFindData match;
  const ScopedFindHandle search(platform, platform.FindFirstFileW(searchPath.c_str(), &match));
  std::uint32_t handed = 0;
  if (!search.valid()) return handed;
  do {
    // The record's name always fits; the terminator is set in case the
    // platform left none.
    match.fileName[std::size(match.fileName) - 1] = u'\0';
    ++handed;
    if ((visit != nullptr && !visit(context, match.fileName)) || handed == most) break;
  } while (platform.FindNextFileW(search.get(), &match));
  return handed;
}

bool FindFirstMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                    WidePath& name) {
  WidePath found;
  const MatchVisitor keep = [](void* context, const WideChar* match) {
    return static_cast<WidePath*>(context)->assign(match);
  };
  // A name from the platform's record always fits.
  return ForEachMatch(platform, folder, pattern, 1, keep, &found) == 1 &&
         name.assign(found.c_str());
}

bool FileExists(Platform& platform, const WideChar* path) {
  return ForEachMatch(platform, path, u"", 1, nullptr, nullptr) == 1;
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
