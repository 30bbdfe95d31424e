#include "discovery/file_discovery.h"

#include <iterator>
#include <utility>

#include "platform/ascii_case.h"
#include "platform/scoped_handle.h"
#include "shared/log_events.h"

namespace setup {

namespace {

// Limits, so that a search that never ends cannot hold the run, whatever it skips.
constexpr std::uint32_t kMostExamined = 100000;
constexpr std::uint32_t kMostCounted = 10000;  // names counted in a folder

// Whether a reported match is what the pattern asks for. Windows matches "*.msp" against short
// names too, so "x.mspx" (short name X~1.MSP) is reported, and a folder may carry any name: only a
// file whose long name ends in the pattern's extension counts.
bool IsWantedFile(const WideFindData& match, const WideChar* pattern) {
  if ((match.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  const bool extensionPattern = pattern[0] == u'\\' && pattern[1] == u'*';
  return !extensionPattern || EndsWithIgnoringAsciiCase(match.fileName, pattern + 2);
}

// Keeps the first names by name order: chosen, then next[].
bool NotePackage(void* context, const WideChar* name) {
  auto& packages = *static_cast<PatchPackages*>(context);
  ++packages.count;
  WidePath carried;
  static_cast<void>(carried.assign(name));  // a found name always fits
  WidePath* const ranks[] = {&packages.chosen, &packages.next[0], &packages.next[1],
                             &packages.next[2], &packages.next[3]};
  for (WidePath* rank : ranks) {
    if (rank->empty()) {
      *rank = carried;
      break;
    }
    if (SortsBeforeIgnoringAsciiCase(carried.c_str(), rank->c_str())) std::swap(*rank, carried);
  }
  return true;
}

}  // namespace

std::uint32_t ForEachMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                           std::uint32_t most, MatchVisitor visit, void* context) {
  WidePath searchPath;
  if (!searchPath.assign(folder) || !searchPath.append(pattern)) return 0;
  WideFindData match;
  const ScopedFindHandle search(platform, platform.FindFirstFileW(searchPath.c_str(), &match));
  if (!search.valid()) return 0;
  std::uint32_t handed = 0;
  std::uint32_t examined = 0;
  do {
    // The record's name always fits; terminated in case the platform left none.
    match.fileName[std::size(match.fileName) - 1] = u'\0';
    if (++examined > kMostExamined) break;
    if (!IsWantedFile(match, pattern)) continue;
    ++handed;
    if ((visit != nullptr && !visit(context, match.fileName)) || handed == most) break;
  } while (platform.FindNextFileW(search.get(), &match));
  return handed;
}

bool FindFirstMatch(Platform& platform, const WideChar* folder, const WideChar* pattern,
                    WidePath& name) {
  const MatchVisitor keep = [](void* context, const WideChar* match) {
    return static_cast<WidePath*>(context)->assign(match);
  };
  return ForEachMatch(platform, folder, pattern, 1, keep, &name) == 1;
}

bool FileExists(Platform& platform, const WideChar* path) {
  return ForEachMatch(platform, path, u"", 1, nullptr, nullptr) == 1;
}

PatchPackages ListPatchPackages(Platform& platform, const RunState& run,
                                const PatchFolder& folder) {
  PatchPackages packages;
  WidePath filesFolder;
  if (folder.Join(filesFolder, {kFilesFolder})) {
    static_cast<void>(ForEachMatch(platform, filesFolder.c_str(), kPatchPackagePattern,
                                   kMostCounted, NotePackage, &packages));
  }
  const bool none = packages.chosen.empty();
  Tell<LogEvent::PatchPackage>(run, none ? "none (*.msp) in " : "",
                               none ? filesFolder.c_str() : packages.chosen.c_str());
  return packages;
}

}  // namespace setup
