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
  Tell(run,
       shown                                               ? LogEvent::MessageShown
       : run.Messages == UserMessages::HiddenBySwitch      ? LogEvent::MessageHiddenBySwitch
       : run.Messages == UserMessages::HiddenInSessionZero ? LogEvent::MessageHiddenInSessionZero
       : run.Messages == UserMessages::HiddenSessionUnknown
           ? LogEvent::MessageHiddenSessionUnknown
           : LogEvent::MessageHiddenNoVisibleStation,
       {caption, text});
  if (shown) static_cast<void>(platform.MessageBoxW(NO_OWNER_WINDOW, text, caption, style));
}

}  // namespace setup
