#include "shared/user_messages.h"

namespace setup {

void ShowUserMessage(Platform& platform, RunState& run, const WideChar* text,
                     const WideChar* caption, std::uint32_t style) {
  const bool quietBySwitch = run.Messages == UserMessages::Hidden;
  if (run.Messages == UserMessages::ShownIfStationVisible) {
    // A box in a station nobody sees would wait for ever.
    run.Messages =
        platform.ProcessWindowStationIsVisible() ? UserMessages::Shown : UserMessages::Hidden;
  }
  LogLine line;
  line << (run.Messages == UserMessages::Shown ? "Message box shown: "
           : quietBySwitch                     ? "Message box not shown (unattended by switch): "
                           : "Message box not shown (unattended: no visible window station): ")
       << caption << " " << text;
  WriteLog(platform, run, line);
  if (run.Messages == UserMessages::Hidden) return;
  static_cast<void>(platform.MessageBoxW(NO_OWNER_WINDOW, text, caption, style));
}

}  // namespace setup
