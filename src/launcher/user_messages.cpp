#include "launcher/user_messages.h"

namespace setup {

namespace {

bool messagesShown = true;

}  // namespace

void SetUserMessagesShown(bool shown) { messagesShown = shown; }

void ShowUserMessage(Platform& platform, const WideChar* text, const WideChar* caption,
                     std::uint32_t style) {
  if (!messagesShown) return;
  static_cast<void>(platform.MessageBoxW(NO_OWNER_WINDOW, text, caption, style));
}

}  // namespace setup
