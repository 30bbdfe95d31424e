#include "runner/patch_package_preflight.h"

#include "shared/log_events.h"

namespace setup {

void LogPatchPackagePreflight(Platform& platform, RunState& run) {
  const PatchPackages& packages = run.Packages;
  if (packages.chosen.empty()) {
    run.Warnings |= kWarnNoPatch;
    WidePath program;
    const std::uint32_t length = platform.GetModuleFileNameW(
        program.writable_buffer(), static_cast<std::uint32_t>(program.capacity()));
    if (length == 0 || length >= program.capacity()) {
      Tell(platform, run, LogEvent::NoPatch, {run.SourceFolder.c_str()});
      return;
    }
    program.adopt_written_text();
    std::size_t folderEnd = program.length();
    while (folderEnd > 0 && program[folderEnd - 1] != u'\\') --folderEnd;
    Tell(platform, run, LogEvent::NoPatchSetupIn,
         {run.SourceFolder.c_str(), Span(program.c_str(), folderEnd)});
    return;
  }
  if (packages.count < 2) return;
  run.Warnings |= kWarnSeveralPatches;
  LogLine ignored;
  for (std::uint32_t at = 0; at < PatchPackages::kNamed && at + 1 < packages.count; ++at) {
    if (at > 0) ignored << ", ";
    ignored.Quoted(packages.next[at].c_str());
  }
  if (packages.count - 1 > PatchPackages::kNamed) {
    Say(ignored, LogEvent::AndMore, {packages.count - 1 - PatchPackages::kNamed});
  }
  Tell(platform, run, LogEvent::SeveralPatches,
       {packages.count, InQuotes(packages.chosen.c_str()), ignored});
}

}  // namespace setup
