#include "launcher/user_messages.h"

namespace setup {

namespace {

enum class Messages { Hidden, ShownIfStationVisible, Shown };

Messages messages = Messages::ShownIfStationVisible;

}  // namespace

void SetUserMessagesShown(bool shown) {
  messages = shown ? Messages::ShownIfStationVisible : Messages::Hidden;
}

void ShowUserMessage(Platform& platform, const WideChar* text, const WideChar* caption,
                     std::uint32_t style) {
  if (messages == Messages::ShownIfStationVisible) {
    // A box in a station nobody sees would wait for ever.
    messages = platform.ProcessWindowStationIsVisible() ? Messages::Shown : Messages::Hidden;
  }
  if (messages == Messages::Hidden) return;
  static_cast<void>(platform.MessageBoxW(NO_OWNER_WINDOW, text, caption, style));
}

}  // namespace setup
