#include "shared/run_state.h"

#include "shared/log_events.h"

namespace setup {

UserMessages DecideUserMessages(Platform& platform, const RunState& run, std::uint32_t processId,
                                bool unattendedSwitch) {
  std::uint32_t session = 0;
  const Status sessionRead = platform.ProcessIdToSessionId(processId, &session);
  const bool read = sessionRead == ERROR_SUCCESS;
  const UserMessages messages = unattendedSwitch ? UserMessages::HiddenBySwitch
                                : !read          ? UserMessages::HiddenSessionUnknown
                                : session == 0   ? UserMessages::HiddenInSessionZero
                                                 : UserMessages::ShownIfStationVisible;
  if (messages == UserMessages::ShownIfStationVisible) {
    Tell<LogEvent::Attended>(run, session);
    return messages;
  }
  Tell<LogEvent::Unattended>(
      run,
      unattendedSwitch ? "a switch asks for no dialogs"
      : !read          ? "the session could not be read (it may be 0, where a box waits unseen)"
                       : "session 0 (a service, or SYSTEM under a deployment tool)",
      read ? "" : "not read: ", read ? LogFact(session) : LogFact(StatusText{sessionRead}));
  return messages;
}

void ShowUserMessage(Platform& platform, const RunState& run, const WideChar* text,
                     const WideChar* caption, std::uint32_t style) {
  if (run.Messages == UserMessages::ShownIfStationVisible) {
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
