#include "shared/log_events.h"

#include "shared/secret_masking.h"

namespace setup {

namespace {

struct Meaning {
  Status status;
  const char* words;
};

// The installer's statuses say what the platform's own error list says, shortened; the README's
// exit table must agree (scripts/check_readme_products.py).
constexpr Meaning kMeanings[] = {
    {0, "success"},
    {1, "a product service is not stopped"},
    {2, "not found"},
    {3, "path not found"},
    {5, "access denied"},
    {6, "invalid handle"},
    {8, "not enough memory"},
    {80, "the file exists"},
    {87, "an invalid parameter"},
    {112, "the disk is full"},
    {122, "text too long for its buffer"},
    {126, "the DLL was not found"},
    {127, "the DLL lacks a function"},
    {182, "an ordinal names another function; not used"},
    {234, "more data than the buffer holds"},
    {259, "no more items"},
    {1601, "the Windows Installer service could not be accessed"},
    {1602, "the user cancelled the installation"},
    {1603, "the installation failed"},
    {1605, "the product is not installed"},
    {1608, "an unknown property was given"},
    {1612, "the installation source is not available"},
    {1618, "another installation is in progress"},
    {1619, "the installation package could not be opened"},
    {1620, "the installation package could not be opened: not a valid installer package"},
    {1622, "the installer's log file could not be opened"},
    {1624, "a transform could not be applied"},
    {1625, "a system policy forbids this installation"},
    {1627, "a function failed during execution"},
    {1633, "this platform does not support the package"},
    {1635, "the update package could not be opened"},
    {1636, "the update package could not be opened: not a valid update package"},
    {1638, "another version of the product is already installed"},
    {1639, "an invalid command line argument"},
    {1641, "success; the installer started a restart"},
    {1642,
     "the upgrade cannot be installed: the program to upgrade may be missing or of another "
     "version"},
    {1643, "a system policy forbids this patch"},
    {1644, "a system policy forbids a customization"},
    {1649, "a system policy forbids removing the patch"},
    {3010, "success; a restart is needed to complete it"},
    {9009, "the command interpreter did not find the installer"},
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

const char* StatusMeaning(Status status) {
  for (const Meaning& meaning : kMeanings) {
    if (meaning.status == status) return meaning.words;
  }
  return nullptr;
}

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
