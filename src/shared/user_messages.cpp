#include "shared/user_messages.h"

#include "shared/log_events.h"

namespace setup {

void ShowUserMessage(Platform& platform, RunState& run, const WideChar* text,
                     const WideChar* caption, std::uint32_t style) {
  if (run.Messages == UserMessages::ShownIfStationVisible) {
    // A box in a station nobody sees would wait for ever.
    run.Messages = platform.ProcessWindowStationIsVisible() ? UserMessages::Shown
                                                            : UserMessages::HiddenNoVisibleStation;
  }
  const bool shown = run.Messages == UserMessages::Shown;
  Tell<LogEvent::MessageBox>(
      run,
      shown                                               ? "shown"
      : run.Messages == UserMessages::HiddenBySwitch      ? "not shown (unattended by switch)"
      : run.Messages == UserMessages::HiddenInSessionZero ? "not shown (unattended: session 0)"
      : run.Messages == UserMessages::HiddenSessionUnknown
          ? "not shown (unattended: the session could not be read)"
          : "not shown (unattended: no visible window station)",
      caption, text);
  if (shown) static_cast<void>(platform.MessageBoxW(NO_OWNER_WINDOW, text, caption, style));
}

}  // namespace setup
