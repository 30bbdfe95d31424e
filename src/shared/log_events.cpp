#include "shared/log_events.h"

#include "shared/secret_masking.h"

namespace setup {

namespace {

constexpr const char* kWordings[] = {
#define SETUP_LOG_EVENT_WORDING(name, wording) wording,
    SETUP_LOG_EVENTS(SETUP_LOG_EVENT_WORDING)
#undef SETUP_LOG_EVENT_WORDING
};

LogLine& AppendFact(LogLine& line, const LogFact& fact) {
  switch (fact.kind) {
    case LogFact::Kind::Number:
      return line << fact.number;
    case LogFact::Kind::Signed:
      return line << static_cast<int>(fact.number);
    case LogFact::Kind::Hex4:
      line << "0x";
      for (int shift = 12; shift >= 0; shift -= 4) {
        line.Text(&u"0123456789ABCDEF"[(fact.number >> shift) & 0xF], 1);
      }
      return line;
    case LogFact::Kind::Words:
      return line << fact.words;
    case LogFact::Kind::Text:
      return line << fact.text;
    case LogFact::Kind::Quoted:
      return (line << "\"").Text(fact.text, fact.length) << "\"";
    case LogFact::Kind::Masked:
      AppendWithSecretsMasked(line, fact.text);
      return line;
    case LogFact::Kind::Line:
      return line.Text(fact.text, fact.length);
    case LogFact::Kind::StatusCode:
    case LogFact::Kind::InstallerStatus:
      break;
  }
  const char* const meaning = StatusMeaning(fact.number);
  const bool installers = fact.kind == LogFact::Kind::InstallerStatus;
  return Say(line,
             installers && fact.number == 1              ? LogEvent::InstallerEndedWithOne
             : installers && fact.number == STILL_ACTIVE ? LogEvent::InstallerStillActive
             : meaning != nullptr                        ? LogEvent::StatusMeaning
             : installers                                ? LogEvent::InstallersOwnStatus
                                                         : LogEvent::WindowsErrorCode,
             {fact.number, meaning});
}

}  // namespace

LogLine& Say(LogLine& line, LogEvent event, std::initializer_list<LogFact> facts) {
  const LogFact* fact = facts.begin();
  for (const char* at = kWordings[static_cast<std::size_t>(event)]; *at != '\0'; ++at) {
    if (*at != '%') {
      line.Ascii(at, 1);
    } else if (fact != facts.end()) {
      AppendFact(line, *fact++);
    }
  }
  return line;
}

void Tell(const RunState& run, LogEvent event, std::initializer_list<LogFact> facts) {
  TellOutcome(run, ERROR_SUCCESS, event, facts);
}

void TellOutcome(const RunState& run, Status outcome, LogEvent event,
                 std::initializer_list<LogFact> facts) {
  LogLine line;
  Say(line, event, facts);
  if (outcome != ERROR_SUCCESS) Say(line, LogEvent::Failed, {StatusText{outcome}});
  WriteLogLine(run.Log, line);
}

}  // namespace setup
