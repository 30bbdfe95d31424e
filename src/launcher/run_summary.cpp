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
    const ProductEntry& product = ProductTable[run.CurrentProduct];
    line << run.CurrentProduct << " name=" << product.keyword << " code=" << product.packedCode;
  } else {
    line << "none name=none code=none";
  }
  line << " patch=\"" << run.PatchFile.c_str() << "\" redirected="
       << (run.CurrentRedirection.transformsWritten && run.InstallerStarted ? "yes" : "no")
       << " warnings=";
  // One key a RunWarning bit, in bit order; keys are only ever added, at
  // the end: log collectors read them.
  constexpr const char* kWarningKeys[] = {"no-patch",        "several-patches",   "no-keyword",
                                          "not-per-machine", "transform-missing", "ini-utf8"};
  static_assert(1u << (sizeof kWarningKeys / sizeof kWarningKeys[0] - 1) == kWarnIniUtf8,
                "a key for every warning");
  const char* separator = "";
  for (std::uint32_t bit = 0; bit < sizeof kWarningKeys / sizeof kWarningKeys[0]; ++bit) {
    if ((run.Warnings & (1u << bit)) == 0) continue;
    line << separator << kWarningKeys[bit];
    separator = ",";
  }
  line << (run.Warnings == 0 ? "none" : "") << " duration_ms=" << durationMs;
  WriteLog(platform, run, line);
}

}  // namespace setup
