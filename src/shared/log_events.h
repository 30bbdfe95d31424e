// Every line the run log can hold, in one table, so that its wording lives in one place.
#ifndef SETUP_SHARED_LOG_EVENTS_H
#define SETUP_SHARED_LOG_EVENTS_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/platform.h"
#include "shared/run_log.h"
#include "shared/run_state.h"

namespace setup {

// Each "%" takes the next fact, of the kind its letter names (LogFact::Kind; "%f" any, for a value
// that is a number in one run and a word in another), checked at compile time. Events starting
// with a blank, ',' or ':' continue a line. One event a line, so a log line is found by its words;
// where one step's lines differ only by a reason, the reason is a fact.
// clang-format off
#define SETUP_LOG_EVENTS(EVENT) \
  EVENT(StatusMeaning, "%n (%w)") \
  EVENT(WindowsErrorCode, "%n (a Windows error code)") \
  EVENT(InstallerEndedWithOne, "1 (the installer ended with 1, reported as 1603)") \
  EVENT(InstallerStillActive, "259 (the installer ended with 259, STILL_ACTIVE, a running process's code; reported as 1603, since a tool polling the launcher's exit code would take 259 for a launcher still running)") \
  EVENT(InstallersOwnStatus, "%n (the installer's own status)") \
  EVENT(LogFolderInstead, "Log folder: %t (the temporary folder %t could not take the log: %s)") \
  EVENT(LogFolderTempUnread, "Log folder: %t (the temporary folder could not be read)") \
  EVENT(Started, "Setup %w started, process %n") \
  EVENT(StartedOn, "Setup %w started, process %n, Windows %n.%n.%n") \
  EVENT(SingleInstance, "Single instance: no other launcher is running") \
  EVENT(CommandLine, "Command line: %m") \
  EVENT(Unattended, "Unattended: %w; no message box is shown (session %w%f)") \
  EVENT(Attended, "Attended: message boxes are shown if the window station is visible (session %n)") \
  EVENT(AnotherLauncher, "Another launcher is running%w: ending with %s, nothing read, written or started") \
  EVENT(InstallerMutexRefused, "Another installation is in progress (the installer's %t refuses this account: 5 (access denied), which deployment toolkits take as held): nothing is changed or started; run again after it") \
  EVENT(InstallerMutexNotOpened, "Installer mutex: could not be opened (%s); taken for no installation in progress") \
  EVENT(InstallerMutexKept, "Installer mutex: taken but could not be given back") \
  EVENT(InstallerMutexNotWaited, "Installer mutex: not waited on (failed); taken as free") \
  EVENT(InstallationInProgress, "Another installation is in progress (the installer holds %t): nothing is changed or started; run again after it") \
  EVENT(PatchFolderUnreadable, "Patch folder: the current directory is unreadable or longer than %n units") \
  EVENT(PatchFolder, "Patch folder: %t, short form %t%w") \
  EVENT(MessageBox, "Message box %w: %t %t") \
  EVENT(ServiceManagerNotOpened, "Services: the service manager could not be opened (%s); no service is checked") \
  EVENT(ServiceNotInstalled, "Service %w: not installed") \
  EVENT(ServiceUnseen, "Service %w: %w (%s)") \
  EVENT(ServiceState, "Service %w: %w (%n)") \
  EVENT(ServiceBlocks, "Service %w is not known to be stopped: the patch is not applied") \
  EVENT(LineBreak, "Command line: %w a line break, which the command interpreter cannot pass on to the installer; nothing is changed or started") \
  EVENT(PatchPathNotCarried, "Patch package: its path %q holds a quote, a ';' (msiexec /p's separator between patches) or a line break; nothing is changed or started: move or rename it") \
  EVENT(PatchPackage, "Patch package: %w%t") \
  EVENT(NoDatabase, "Installer database: none (*.msi)") \
  EVENT(DatabaseRead, "Installer database: %t, LanguagePackInstaller %q: %w language-pack installer") \
  EVENT(DatabaseNotSet, "Installer database: %t, LanguagePackInstaller not set: no language-pack installer") \
  EVENT(DatabaseNotRead, "Installer database: %t, LanguagePackInstaller not read (%s): no language-pack installer") \
  EVENT(Product, "Product: row %n (%t, %t), %w") \
  EVENT(NoProduct, "Product: no row of the product table qualifies%w") \
  EVENT(NotPerMachine, "Pre-flight: %t (row %n) is not registered per machine (no HKEY_CLASSES_ROOT\\%t): installed per user or not at all; nothing is redirected") \
  EVENT(NoKeyword, "Pre-flight: no product keyword in the patch's name; nothing is redirected") \
  EVENT(LanguageUnread, "Language: not determined, the product's Transforms could not be read (%s)") \
  EVENT(LanguageUnknown, "Language: not determined, no known transform in Transforms %q") \
  EVENT(LanguageOfTransforms, "Language: row %n (%w, %t), from the product's Transforms %q") \
  EVENT(LanguageOfSystem, "Language: row %n (%w), from the system language %x and the patch folder's ini file %t.ini") \
  EVENT(LanguageOfSystemNoIni, "Language: row %n (%w), from the system language %x (no usable ini file %t.ini)") \
  EVENT(IniSavedAsUtf8, "Pre-flight: %t.ini is saved as UTF-8, which Windows reads as ANSI: no DESCRIPTION there; save it as UTF-16 with a byte-order mark") \
  EVENT(NotRedirected, "Redirection: none, no backup is held") \
  EVENT(BackupKeyNotOpened, "Backup: the registration %t could not be opened for changing (%s)") \
  EVENT(JournalLeft, "Recovery: TransformsBackup %q was left by a run that did not finish; it is finished before anything else") \
  EVENT(RecoveryGivenSince, "Recovery: Transforms %f was given to the product after the journal %q was written: it stays, and the journal goes") \
  EVENT(RecoveryFailed, "Recovery: TransformsBackup could not be read or finished (%s): nothing is redirected and the installer is not started; run again") \
  EVENT(RecoveryKeyNotOpened, "Recovery: the registration %t holds a TransformsBackup left by a run that did not finish, but could not be opened for changing (%s): nothing is redirected and the installer is not started; run elevated") \
  EVENT(ForeignJournal, "%w: TransformsBackup is of type %n, no journal of the launcher's; it and Transforms are left alone") \
  EVENT(TransformsUnread, "Backup: Transforms could not be read (%s); nothing is redirected") \
  EVENT(BackupFailed, "Backup: %s; nothing is redirected") \
  EVENT(RecordOfNone, "Backup: no Transforms; TransformsBackup records that and the redirection") \
  EVENT(BackupCopied, "Backup: Transforms %q type %n, %n bytes copied to TransformsBackup") \
  EVENT(BackupNotWritten, ": TransformsBackup could not be written (%s); nothing is redirected") \
  EVENT(RedirectionTooLong, "Redirection: none, the transform's path would exceed %n units") \
  EVENT(OwnValueChanged, "Redirection: none, Transforms no longer reads as the value backed up") \
  EVENT(Redirected, "Redirection: Transforms set to %q") \
  EVENT(Failed, ", failed: %s") \
  EVENT(TransformMissing, "Pre-flight: Files\\%t is missing; the installer will likely fail to apply it (1624)") \
  EVENT(NoPatch, "Pre-flight: no patch package (*.msp) in %tFiles\\; the installer will fail. Start Setup.exe with the patch folder, the one holding Files\\, as its current directory") \
  EVENT(NoPatchSetupIn, "Pre-flight: no patch package (*.msp) in %tFiles\\; the installer will fail. Setup.exe is in %l: start it with that folder as its current directory") \
  EVENT(SeveralPatches, "Pre-flight: %n patch packages (*.msp) in Files\\; the installer gets the first by name, %q, the same on every machine; ignored: %l. Give each patch a folder of its own") \
  EVENT(AndMore, " and %n more") \
  EVENT(NoSystemFolder, "Installer: not started, no system folder") \
  EVENT(ArgumentsExpanded, "Arguments as expanded: %l") \
  EVENT(LineTooLong, "Installer: not started, the command line handed to the interpreter would be %n units, escapes included (the arguments: %n units as given); at most %n fit") \
  EVENT(LineLongerStill, "Installer: not started, the command line handed to the interpreter would be longer still (the arguments: %n units as given); at most %n fit") \
  EVENT(InstallerCommandLine, "Installer command line: %t %l") \
  EVENT(NotStarted, "Installer: could not be started: %s") \
  EVENT(InterpreterStarted, "Command interpreter started, process %n; it starts the installer") \
  EVENT(WaitFailed, "Installer: waiting failed; its exit code is read every %n ms until it has ended") \
  EVENT(InstallerEnded, "Installer ended with %i") \
  EVENT(RestoreProductHeld, "Restore: the product whose backup this run holds: row %n") \
  EVENT(RestoreKeyNotOpened, "Restore: the registration %t could not be opened for changing: %s") \
  EVENT(RestoreJournalUnread, "Restore: TransformsBackup could not be read (%s); it stays for the next run") \
  EVENT(LeftAlone, "Restore: Transforms was left alone") \
  EVENT(WrittenBack, "Restore: Transforms written back: %q type %n, %n bytes") \
  EVENT(DeletedHadNone, "Restore: Transforms deleted (the product had none)") \
  EVENT(JournalDeleted, "Restore: TransformsBackup deleted") \
  EVENT(NoJournal, "Restore: no TransformsBackup, nothing to put back") \
  EVENT(OwnRedirectionDeleted, "Restore: no TransformsBackup; the redirection this run wrote is deleted: %q %s") \
  EVENT(UnprovenStays, "Restore: no TransformsBackup; Transforms %q stays: nothing shows that a run of the launcher wrote it") \
  EVENT(JournalGone, "Restore: the TransformsBackup this run wrote has gone; the own Transforms cannot be put back") \
  EVENT(Ends, "Setup ends with exit status %s after %n ms") \
  EVENT(Summary, "Summary: exit=%n meaning=\"%w\" installer=%f product=%f name=%f code=%f registered=%w patch=\"%t\" redirected=%w warnings=%f duration_ms=%n")
// clang-format on

enum class LogEvent : std::uint8_t {
#define SETUP_LOG_EVENT_NAME(name, wording) name,
  SETUP_LOG_EVENTS(SETUP_LOG_EVENT_NAME)
#undef SETUP_LOG_EVENT_NAME
};

// Null for a status without words here: the log then shows the number alone.
const char* StatusMeaning(Status status);

struct StatusText {
  Status status;
};
// The installer's 1 is not the launcher's 1; one without words is its own, not a Windows error.
struct InstallerStatusText {
  Status status;
};

// Two words on the launcher's 32-bit build, so that a step's facts cost little code.
struct LogFact {
  enum class Kind : char {
    Number = 'n',
    Words = 'w',  // ASCII
    Text = 't',
    Quoted = 'q',
    Masked = 'm',
    StatusCode = 's',
    InstallerStatus = 'i',
    Hex4 = 'x',
    Line = 'l',
    Signed = '-',  // a Number that may be below 0
  };
  LogFact(std::uint32_t value) : number(value), kind(Kind::Number) {}
  LogFact(int value) : number(static_cast<std::uint32_t>(value)), kind(Kind::Signed) {}
  LogFact(const char* ascii) : words(ascii), kind(Kind::Words) {}
  LogFact(const WideChar* units) : text(units), kind(Kind::Text) {}
  LogFact(StatusText status) : number(status.status), kind(Kind::StatusCode) {}
  LogFact(InstallerStatusText status) : number(status.status), kind(Kind::InstallerStatus) {}
  LogFact(const LogLine& line) : LogFact(Kind::Line, line.c_str(), line.length()) {}
  LogFact(Kind form, std::uint32_t value) : number(value), kind(form) {}
  LogFact(Kind form, const WideChar* units, std::size_t count)
      : text(units),
        length(static_cast<std::uint16_t>(count < 0xFFFF ? count : 0xFFFF)),
        kind(form) {}

  union {
    std::uint32_t number;
    const char* words;
    const WideChar* text;
  };
  // Of Quoted and Line text: more units than a log line holds show the same.
  std::uint16_t length = 0;
  Kind kind;
};

// Facts of one made kind, told apart from plain text at compile time.
template <LogFact::Kind Form>
struct FormedFact : LogFact {
  static constexpr LogFact::Kind kForm = Form;
  using LogFact::LogFact;
};

inline FormedFact<LogFact::Kind::Quoted> InQuotes(const WideChar* text, std::size_t length) {
  return {LogFact::Kind::Quoted, text, length};
}
inline FormedFact<LogFact::Kind::Quoted> InQuotes(const WideChar* text) {
  return InQuotes(text, TextLength(text));
}
inline FormedFact<LogFact::Kind::Masked> SecretsMasked(const WideChar* commandText) {
  return {LogFact::Kind::Masked, commandText, 0};
}
inline FormedFact<LogFact::Kind::Hex4> Hex4(std::uint32_t value) {
  return {LogFact::Kind::Hex4, value};
}
inline FormedFact<LogFact::Kind::Line> Span(const WideChar* text, std::size_t length) {
  return {LogFact::Kind::Line, text, length};
}

namespace log_wording {

constexpr const char* kWordings[] = {
#define SETUP_LOG_EVENT_WORDING(name, wording) wording,
    SETUP_LOG_EVENTS(SETUP_LOG_EVENT_WORDING)
#undef SETUP_LOG_EVENT_WORDING
};

// The letter a fact of type T fills: '?' for a type no wording takes.
template <typename T>
constexpr char KindOf() {
  using Fact = std::decay_t<T>;
  if constexpr (std::is_same_v<Fact, std::uint32_t> || std::is_same_v<Fact, int>) return 'n';
  if constexpr (std::is_same_v<Fact, const char*> || std::is_same_v<Fact, char*>) return 'w';
  if constexpr (std::is_same_v<Fact, const WideChar*> || std::is_same_v<Fact, WideChar*>) {
    return 't';
  }
  if constexpr (std::is_same_v<Fact, StatusText>) return 's';
  if constexpr (std::is_same_v<Fact, InstallerStatusText>) return 'i';
  if constexpr (std::is_same_v<Fact, LogLine>) return 'l';
  if constexpr (std::is_same_v<Fact, LogFact>) return 'f';
  if constexpr (std::is_base_of_v<LogFact, Fact> && !std::is_same_v<Fact, LogFact>) {
    return static_cast<char>(Fact::kForm);
  }
  return '?';
}

constexpr bool FactsFit(const char* wording, const char* kinds, std::size_t count) {
  std::size_t next = 0;
  for (const char* at = wording; *at != '\0'; ++at) {
    if (*at != '%') continue;
    ++at;
    if (next == count || (*at != 'f' && *at != kinds[next])) return false;
    ++next;
  }
  return next == count;
}

template <LogEvent Event, typename... Facts>
constexpr bool Fits() {
  constexpr char kinds[] = {KindOf<Facts>()..., '\0'};
  return FactsFit(kWordings[static_cast<std::size_t>(Event)], kinds, sizeof...(Facts));
}

// Events go by number, the wordings stay in one table: a call costs a byte, not an address.
void Fill(LogLine& line, LogEvent event, const LogFact* facts);

// Adds ", failed: <status (meaning)>" when `outcome` is not 0.
void WriteEvent(const RunState& run, Status outcome, LogEvent event, const LogFact* facts);
// Most lines have no outcome: an argument fewer is code saved at every line.
void WriteEvent(const RunState& run, LogEvent event, const LogFact* facts);

template <std::size_t Count>
struct FactArray {
  LogFact facts[Count];
  const LogFact* data() const { return facts; }
};
template <>
struct FactArray<0> {
  const LogFact* data() const { return nullptr; }
};

template <typename... Facts>
FactArray<sizeof...(Facts)> Gather(const Facts&... facts) {
  return {{LogFact(facts)...}};
}
inline FactArray<0> Gather() { return {}; }

}  // namespace log_wording

template <LogEvent Event, typename... Facts>
LogLine& Say(LogLine& line, const Facts&... facts) {
  static_assert(log_wording::Fits<Event, Facts...>(), "the facts do not fit the wording's places");
  log_wording::Fill(line, Event, log_wording::Gather(facts...).data());
  return line;
}

template <LogEvent Event, typename... Facts>
void Tell(const RunState& run, const Facts&... facts) {
  static_assert(log_wording::Fits<Event, Facts...>(), "the facts do not fit the wording's places");
  log_wording::WriteEvent(run, Event, log_wording::Gather(facts...).data());
}

// A step's failure, when `outcome` is not 0, on the line of what it did.
template <LogEvent Event, typename... Facts>
void TellOutcome(const RunState& run, Status outcome, const Facts&... facts) {
  static_assert(log_wording::Fits<Event, Facts...>(), "the facts do not fit the wording's places");
  log_wording::WriteEvent(run, outcome, Event, log_wording::Gather(facts...).data());
}

}  // namespace setup

#endif  // SETUP_SHARED_LOG_EVENTS_H
