#include "launcher/run_summary.h"

#include <iterator>

#include "detection/product_table.h"
#include "shared/log_events.h"

namespace setup {

void WriteRunSummary(const RunState& run, const RunOutcomes& outcomes, std::uint32_t durationMs) {
  const Status exitStatus = ExitStatusOf(outcomes);
  const char* const meaning = StatusMeaning(exitStatus);
  // One key a RunWarning bit, in bit order; keys are only ever added, at
  // the end: log collectors read them.
  constexpr const char* kWarningKeys[] = {"no-patch",        "several-patches",   "no-keyword",
                                          "not-per-machine", "transform-missing", "ini-utf8"};
  static_assert(1u << (std::size(kWarningKeys) - 1) == kWarnIniUtf8, "a key for every warning");
  LogLine warnings;
  for (std::uint32_t bit = 0; bit < std::size(kWarningKeys); ++bit) {
    if ((run.Warnings & (1u << bit)) != 0)
      warnings << (warnings.length() > 0 ? "," : "") << kWarningKeys[bit];
  }
  const bool identified = run.CurrentProduct != kNoProduct;
  const ProductEntry* const product = identified ? &ProductTable[run.CurrentProduct] : nullptr;
  Tell(run, LogEvent::Summary,
       {exitStatus, meaning != nullptr ? meaning : "",
        run.InstallerStarted ? LogFact(outcomes.installer) : LogFact("none"),
        identified ? LogFact(run.CurrentProduct) : LogFact("none"),
        identified ? LogFact(product->keyword) : LogFact("none"),
        identified ? LogFact(product->packedCode) : LogFact("none"),
        identified && run.RegistrationFound ? "yes" : "no",
        outcomes.refusal == Verdict::None && run.Packages ? run.Packages->chosen.c_str() : u"",
        run.CurrentRedirection.transformsWritten && run.InstallerStarted ? "yes" : "no",
        run.Warnings == 0 ? LogFact("none") : LogFact(warnings), durationMs});
}

}  // namespace setup
