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
    if ((outcomes.warnings & (1u << bit)) != 0)
      warnings << (warnings.length() > 0 ? "," : "") << kWarningKeys[bit];
  }
  const bool identified = outcomes.product != kNoProduct;
  const ProductEntry* const product = identified ? &ProductTable[outcomes.product] : nullptr;
  Tell<LogEvent::Summary>(run, exitStatus, meaning != nullptr ? meaning : "",
                          outcomes.installerStarted ? LogFact(outcomes.installer) : LogFact("none"),
                          identified ? LogFact(outcomes.product) : LogFact("none"),
                          identified ? LogFact(product->keyword) : LogFact("none"),
                          identified ? LogFact(product->packedCode) : LogFact("none"),
                          identified && outcomes.registered ? "yes" : "no",
                          outcomes.refusal == Verdict::None ? outcomes.patch.c_str() : u"",
                          outcomes.redirected && outcomes.installerStarted ? "yes" : "no",
                          outcomes.warnings == 0 ? LogFact("none") : LogFact(warnings), durationMs);
}

}  // namespace setup
