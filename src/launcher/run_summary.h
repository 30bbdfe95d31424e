// The run's last log line, for log collectors: one line of key=value pairs.
#ifndef SETUP_LAUNCHER_RUN_SUMMARY_H
#define SETUP_LAUNCHER_RUN_SUMMARY_H

#include <cstdint>

#include "launcher/exit_status.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Writes the Summary event, its exit status made from `outcomes`; its
// quoted values hold no quote.
void WriteRunSummary(const RunState& run, const RunOutcomes& outcomes, std::uint32_t durationMs);

}  // namespace setup

#endif  // SETUP_LAUNCHER_RUN_SUMMARY_H
