#include "shared/log_events.h"

#include "shared/secret_masking.h"

namespace setup {

namespace {

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
  const std::uint32_t status = fact.number;
  const char* const meaning = StatusMeaning(status);
  const bool installers = fact.kind == LogFact::Kind::InstallerStatus;
  if (installers && status == 1) return Say<LogEvent::InstallerEndedWithOne>(line);
  if (installers && status == STILL_ACTIVE) return Say<LogEvent::InstallerStillActive>(line);
  if (meaning != nullptr) return Say<LogEvent::StatusMeaning>(line, status, meaning);
  return installers ? Say<LogEvent::InstallersOwnStatus>(line, status)
                    : Say<LogEvent::WindowsErrorCode>(line, status);
}

}  // namespace

namespace log_wording {

void Fill(LogLine& line, LogEvent event, const LogFact* facts) {
  for (const char* at = kWordings[static_cast<std::size_t>(event)]; *at != '\0'; ++at) {
    if (*at != '%') {
      line.Ascii(at, 1);
    } else {
      ++at;  // the fact's kind, checked at compile time
      AppendFact(line, *facts++);
    }
  }
}

void WriteEvent(const RunState& run, Status outcome, LogEvent event, const LogFact* facts) {
  LogLine line;
  Fill(line, event, facts);
  if (outcome != ERROR_SUCCESS) Say<LogEvent::Failed>(line, StatusText{outcome});
  WriteLogLine(run.Log, line);
}

void WriteEvent(const RunState& run, LogEvent event, const LogFact* facts) {
  WriteEvent(run, ERROR_SUCCESS, event, facts);
}

}  // namespace log_wording

}  // namespace setup
