#include "runner/patch_package_preflight.h"

namespace setup {

void LogPatchPackagePreflight(Platform& platform, RunState& run) {
  const PatchPackages& packages = run.Packages;
  if (packages.chosen.empty()) {
    run.Warnings |= kWarnNoPatch;
    LogLine line;
    line << "Pre-flight: no patch package (*.msp) in " << run.SourceFolder.c_str()
         << "Files\\; the installer will fail. ";
    WidePath program;
    const std::uint32_t length = platform.GetModuleFileNameW(
        program.writable_buffer(), static_cast<std::uint32_t>(program.capacity()));
    if (length > 0 && length < program.capacity()) {
      program.adopt_written_text();
      const WideChar* const name = program.c_str();
      std::size_t folderEnd = program.length();
      while (folderEnd > 0 && name[folderEnd - 1] != u'\\') --folderEnd;
      line << "Setup.exe is in ";
      line.Text(name, folderEnd) << ": start it with that folder as its current directory";
    } else {
      line << "Start Setup.exe with the patch folder, the one holding Files\\, as its current "
              "directory";
    }
    WriteLog(platform, run, line);
    return;
  }
  if (packages.count < 2) return;
  run.Warnings |= kWarnSeveralPatches;
  LogLine line;
  line << "Pre-flight: " << packages.count
       << " patch packages (*.msp) in Files\\; the installer gets the first by name, ";
  line.Quoted(packages.chosen.c_str()) << ", the same on every machine; ignored: ";
  for (std::uint32_t at = 0; at < PatchPackages::kNamed && at + 1 < packages.count; ++at) {
    if (at > 0) line << ", ";
    line.Quoted(packages.next[at].c_str());
  }
  if (packages.count - 1 > PatchPackages::kNamed) {
    line << " and " << (packages.count - 1 - PatchPackages::kNamed) << " more";
  }
  line << ". Give each patch a folder of its own";
  WriteLog(platform, run, line);
}

}  // namespace setup
