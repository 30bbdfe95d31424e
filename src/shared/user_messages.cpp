#include "shared/user_messages.h"

namespace setup {

void ShowUserMessage(Platform& platform, RunState& run, const WideChar* text,
                     const WideChar* caption, std::uint32_t style) {
  if (run.Messages == UserMessages::ShownIfStationVisible) {
    // A box in a station nobody sees would wait for ever.
    run.Messages =
        platform.ProcessWindowStationIsVisible() ? UserMessages::Shown : UserMessages::Hidden;
  }
  if (run.Messages == UserMessages::Hidden) return;
  static_cast<void>(platform.MessageBoxW(NO_OWNER_WINDOW, text, caption, style));
}

}  // namespace setup
