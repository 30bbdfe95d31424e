#include "shared/user_messages.h"

namespace setup {

namespace {

const char* NotShownBecause(UserMessages messages) {
  switch (messages) {
    case UserMessages::HiddenBySwitch:
      return "unattended by switch";
    case UserMessages::HiddenInSessionZero:
      return "unattended: session 0";
    case UserMessages::HiddenSessionUnknown:
      return "unattended: the session could not be read";
    case UserMessages::HiddenNoVisibleStation:
    case UserMessages::ShownIfStationVisible:
    case UserMessages::Shown:
      break;
  }
  return "unattended: no visible window station";
}

}  // namespace

void ShowUserMessage(Platform& platform, RunState& run, const WideChar* text,
                     const WideChar* caption, std::uint32_t style) {
  if (run.Messages == UserMessages::ShownIfStationVisible) {
    // A box in a station nobody sees would wait for ever.
    run.Messages = platform.ProcessWindowStationIsVisible() ? UserMessages::Shown
                                                            : UserMessages::HiddenNoVisibleStation;
  }
  const bool shown = run.Messages == UserMessages::Shown;
  LogLine line;
  if (shown) {
    line << "Message box shown: ";
  } else {
    line << "Message box not shown (" << NotShownBecause(run.Messages) << "): ";
  }
  line << caption << " " << text;
  WriteLog(platform, run, line);
  if (!shown) return;
  static_cast<void>(platform.MessageBoxW(NO_OWNER_WINDOW, text, caption, style));
}

}  // namespace setup
