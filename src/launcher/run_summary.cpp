#include "launcher/run_summary.h"

#include "detection/product_table.h"
#include "shared/status_meanings.h"

namespace setup {

void WriteRunSummary(Platform& platform, const RunState& run, Status exitStatus,
                     std::uint32_t durationMs) {
  const char* const meaning = StatusMeaning(exitStatus);
  LogLine line;
  line << "Summary: exit=" << exitStatus << " meaning=\"" << (meaning != nullptr ? meaning : "")
       << "\" installer=";
  if (run.InstallerStarted) {
    line << run.InstallerStatus;
  } else {
    line << "none";
  }
  line << " product=";
  if (run.CurrentProduct != kNoProduct) {
    line << run.CurrentProduct << " code=" << ProductTable[run.CurrentProduct].packedCode;
  } else {
    line << "none code=none";
  }
  line << " patch=\"" << run.PatchFile.c_str()
       << "\" redirected="
       << (run.CurrentRedirection.transformsWritten && run.InstallerStarted ? "yes" : "no")
       << " duration_ms=" << durationMs;
  WriteLog(platform, run, line);
}

}  // namespace setup
