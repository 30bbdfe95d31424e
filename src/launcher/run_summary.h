// The run's last log line, for log collectors: one line of key=value pairs.
#ifndef SETUP_LAUNCHER_RUN_SUMMARY_H
#define SETUP_LAUNCHER_RUN_SUMMARY_H

#include <cstdint>

#include "launcher/exit_status.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Writes "Summary: exit=<n> meaning="<words>" installer=<n|none>
// product=<row|none> name=<keyword|none> code=<packed code|none>
// patch="<file>" redirected=<yes|no> warnings=<keys|none>
// duration_ms=<n>", the exit status made from `outcomes`. Quoted values
// hold no quote.
void WriteRunSummary(Platform& platform, const RunState& run, const RunOutcomes& outcomes,
                     std::uint32_t durationMs);

}  // namespace setup

#endif  // SETUP_LAUNCHER_RUN_SUMMARY_H
