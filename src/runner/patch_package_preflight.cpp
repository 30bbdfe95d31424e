#include "runner/patch_package_preflight.h"

#include "discovery/file_discovery.h"

namespace setup {

namespace {

// Ignored packages named one by one; the rest are counted. A folder is
// counted up to kMostCounted names, so a search that never ends cannot
// hold the run.
constexpr std::uint32_t kMostNamed = 4;
constexpr std::uint32_t kMostCounted = 10000;

struct IgnoredPackages {
  LogLine names;
  std::uint32_t seen = 0;
};

bool NoteIgnored(void* context, const WideChar* name) {
  auto& ignored = *static_cast<IgnoredPackages*>(context);
  ++ignored.seen;
  if (ignored.seen > 1 && ignored.seen <= 1 + kMostNamed) {
    if (ignored.seen > 2) ignored.names << ", ";
    ignored.names.Quoted(name);
  }
  return true;
}

}  // namespace

void LogPatchPackagePreflight(Platform& platform, const RunState& run, const WidePath& taken) {
  const WidePath filesFolder = FilesFolderPath(run);
  if (taken.empty()) {
    WriteLog(platform, run,
             LogLine() << "Pre-flight: no patch package (*.msp) in " << run.SourceFolder.c_str()
                       << "Files\\; the installer will fail. Start Setup.exe with the patch "
                          "folder, the one holding Files\\, as its current directory");
    return;
  }
  IgnoredPackages ignored;
  const std::uint32_t found = ForEachMatch(platform, filesFolder.c_str(), kPatchPackagePattern,
                                           kMostCounted, NoteIgnored, &ignored);
  if (found < 2) return;
  LogLine line;
  line << "Pre-flight: " << found << " patch packages (*.msp) in Files\\; the installer gets ";
  line.Quoted(taken.c_str()) << " only; ignored: " << ignored.names.c_str();
  if (found - 1 > kMostNamed) line << " and " << (found - 1 - kMostNamed) << " more";
  line << ". Give each patch a folder of its own";
  WriteLog(platform, run, line);
}

}  // namespace setup
