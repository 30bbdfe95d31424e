// Every line the run log can hold, worded in one table: a step says which
// event happened and with which facts, and the table makes the line, so
// that the wording an administrator reads lives in one place.
#ifndef SETUP_SHARED_LOG_EVENTS_H
#define SETUP_SHARED_LOG_EVENTS_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "platform/platform.h"
#include "shared/log_line.h"
#include "shared/run_state.h"
#include "shared/status_meanings.h"

namespace setup {

// Each "%" of a wording takes the next fact. Events that start with a
// blank, ',' or ':' continue a line (Say).
// One event a line, so that a line of a log is found here by its words.
// clang-format off
#define SETUP_LOG_EVENTS(EVENT) \
  EVENT(StatusMeaning, "% (%)") \
  EVENT(WindowsErrorCode, "% (a Windows error code)") \
  EVENT(InstallerEndedWithOne, "1 (the installer ended with 1, reported as 1603)") \
  EVENT(InstallerStillActive, "259 (the installer ended with 259, STILL_ACTIVE, a running process's code; reported as 1603, since a tool polling the launcher's exit code would take 259 for a launcher still running)") \
  EVENT(InstallersOwnStatus, "% (the installer's own status)") \
  EVENT(LogFolderInstead, "Log folder: % (the temporary folder % could not take the log: %)") \
  EVENT(LogFolderTempUnread, "Log folder: % (the temporary folder could not be read)") \
  EVENT(Started, "Setup % started, process %") \
  EVENT(StartedOn, "Setup % started, process %, Windows %.%.%") \
  EVENT(SingleInstance, "Single instance: no other launcher is running") \
  EVENT(CommandLine, "Command line: %") \
  EVENT(HiddenBySwitch, "Unattended: a switch asks for no dialogs; no message box is shown (session %)") \
  EVENT(HiddenBySwitchSessionUnread, "Unattended: a switch asks for no dialogs; no message box is shown (session not read: %)") \
  EVENT(HiddenSessionUnknown, "Unattended: the session could not be read (it may be 0, where a box waits unseen); no message box is shown (session not read: %)") \
  EVENT(HiddenInSessionZero, "Unattended: session 0 (a service, or SYSTEM under a deployment tool); no message box is shown (session %)") \
  EVENT(Attended, "Attended: message boxes are shown if the window station is visible (session %)") \
  EVENT(AnotherLauncher, "Another launcher is running: ending with %, nothing read, written or started") \
  EVENT(AnotherAccountsLauncher, "Another launcher is running (its mutex refuses this account: another account runs it): ending with %, nothing read, written or started") \
  EVENT(InstallerMutexRefused, "Another installation is in progress (the installer's % refuses this account: 5 (access denied), which deployment toolkits take as held): nothing is changed or started; run again after it") \
  EVENT(InstallerMutexNotOpened, "Installer mutex: could not be opened (%); taken for no installation in progress") \
  EVENT(InstallerMutexKept, "Installer mutex: taken but could not be given back") \
  EVENT(InstallerMutexNotWaited, "Installer mutex: not waited on (failed); taken as free") \
  EVENT(InstallationInProgress, "Another installation is in progress (the installer holds %): nothing is changed or started; run again after it") \
  EVENT(PatchFolderUnreadable, "Patch folder: the current directory is unreadable or longer than % units") \
  EVENT(PatchFolder, "Patch folder: %, short form %") \
  EVENT(PatchFolderTooLong, "Patch folder: %, short form % (too long to build paths from)") \
  EVENT(MessageShown, "Message box shown: % %") \
  EVENT(MessageHiddenBySwitch, "Message box not shown (unattended by switch): % %") \
  EVENT(MessageHiddenInSessionZero, "Message box not shown (unattended: session 0): % %") \
  EVENT(MessageHiddenSessionUnknown, "Message box not shown (unattended: the session could not be read): % %") \
  EVENT(MessageHiddenNoVisibleStation, "Message box not shown (unattended: no visible window station): % %") \
  EVENT(ServiceManagerNotOpened, "Services: the service manager could not be opened (%); no service is checked") \
  EVENT(ServiceNotInstalled, "Service %: not installed") \
  EVENT(ServiceNotOpened, "Service %: could not be opened (%)") \
  EVENT(ServiceStateUnread, "Service %: its state could not be read (%)") \
  EVENT(ServiceState, "Service %: % (%)") \
  EVENT(ServiceBlocks, "Service % is not known to be stopped: the patch is not applied") \
  EVENT(ArgumentsHoldLineBreak, "Command line: its arguments hold a line break, which the command interpreter cannot pass on to the installer; nothing is changed or started") \
  EVENT(VariableHoldsLineBreak, "Command line: a variable it names holds a line break, which the command interpreter cannot pass on to the installer; nothing is changed or started") \
  EVENT(PatchPathNotCarried, "Patch package: its path % holds a quote, a ';' (msiexec /p's separator between patches) or a line break; nothing is changed or started: move or rename it") \
  EVENT(PatchPackage, "Patch package: %") \
  EVENT(NoPatchPackage, "Patch package: none (*.msp) in %") \
  EVENT(NoDatabase, "Installer database: none (*.msi)") \
  EVENT(DatabaseLanguagePack, "Installer database: %, LanguagePackInstaller %: a language-pack installer") \
  EVENT(DatabaseNoLanguagePack, "Installer database: %, LanguagePackInstaller %: no language-pack installer") \
  EVENT(DatabaseNotSet, "Installer database: %, LanguagePackInstaller not set: no language-pack installer") \
  EVENT(DatabaseNotRead, "Installer database: %, LanguagePackInstaller not read (%): no language-pack installer") \
  EVENT(ProductRegistered, "Product: row % (%, %), its keyword is in the patch name and it is registered") \
  EVENT(ProductOfLanguagePack, "Product: row % (%, %), its keyword is in the patch name and the patch folder's database is a language-pack installer") \
  EVENT(ProductByKeyword, "Product: row % (%, %), its keyword alone is in the patch name") \
  EVENT(NoProduct, "Product: no row of the product table qualifies") \
  EVENT(NoLanguagePackProduct, "Product: no row of the product table qualifies (language-pack rows only)") \
  EVENT(NotPerMachine, "Pre-flight: % (row %) is not registered per machine (no HKEY_CLASSES_ROOT\\%): installed per user or not at all; nothing is redirected") \
  EVENT(NoKeyword, "Pre-flight: no product keyword in the patch's name; nothing is redirected") \
  EVENT(LanguageUnread, "Language: not determined, the product's Transforms could not be read (%)") \
  EVENT(LanguageUnknown, "Language: not determined, no known transform in Transforms %") \
  EVENT(LanguageOfTransforms, "Language: row % (%, %), from the product's Transforms %") \
  EVENT(LanguageOfSystem, "Language: row % (%), from the system language % and the patch folder's ini file %.ini") \
  EVENT(LanguageOfSystemNoIni, "Language: row % (%), from the system language % (no usable ini file %.ini)") \
  EVENT(IniSavedAsUtf8, "Pre-flight: %.ini is saved as UTF-8, which Windows reads as ANSI: no DESCRIPTION there; save it as UTF-16 with a byte-order mark") \
  EVENT(NotRedirected, "Redirection: none, no backup is held") \
  EVENT(BackupKeyNotOpened, "Backup: the registration % could not be opened for changing (%)") \
  EVENT(JournalLeft, "Recovery: TransformsBackup % was left by a run that did not finish; it is finished before anything else") \
  EVENT(RecoveryGivenSince, "Recovery: Transforms % was given to the product after the journal % was written: it stays, and the journal goes") \
  EVENT(RecoveryFailed, "Recovery: TransformsBackup could not be read or finished (%): nothing is redirected and the installer is not started; run again") \
  EVENT(RecoveryKeyNotOpened, "Recovery: the registration % holds a TransformsBackup left by a run that did not finish, but could not be opened for changing (%): nothing is redirected and the installer is not started; run elevated") \
  EVENT(BackupForeignJournal, "Backup: TransformsBackup is of type %, no journal of the launcher's; it and Transforms are left alone") \
  EVENT(TransformsUnread, "Backup: Transforms could not be read (%); nothing is redirected") \
  EVENT(BackupFailed, "Backup: %; nothing is redirected") \
  EVENT(RecordOfNone, "Backup: no Transforms; TransformsBackup records that and the redirection") \
  EVENT(BackupCopied, "Backup: Transforms % type %, % bytes copied to TransformsBackup") \
  EVENT(BackupNotWritten, ": TransformsBackup could not be written (%); nothing is redirected") \
  EVENT(RedirectionTooLong, "Redirection: none, the transform's path would exceed % units") \
  EVENT(OwnValueChanged, "Redirection: none, Transforms no longer reads as the value backed up") \
  EVENT(Redirected, "Redirection: Transforms set to %") \
  EVENT(Failed, ", failed: %") \
  EVENT(TransformMissing, "Pre-flight: Files\\% is missing; the installer will likely fail to apply it (1624)") \
  EVENT(NoPatch, "Pre-flight: no patch package (*.msp) in %Files\\; the installer will fail. Start Setup.exe with the patch folder, the one holding Files\\, as its current directory") \
  EVENT(NoPatchSetupIn, "Pre-flight: no patch package (*.msp) in %Files\\; the installer will fail. Setup.exe is in %: start it with that folder as its current directory") \
  EVENT(SeveralPatches, "Pre-flight: % patch packages (*.msp) in Files\\; the installer gets the first by name, %, the same on every machine; ignored: %. Give each patch a folder of its own") \
  EVENT(AndMore, " and % more") \
  EVENT(NoSystemFolder, "Installer: not started, no system folder") \
  EVENT(ArgumentsExpanded, "Arguments as expanded: %") \
  EVENT(NotCarried, "Installer: not started, the patch path or the arguments cannot be carried") \
  EVENT(LineTooLong, "Installer: not started, the command line handed to the interpreter would be % units, escapes included (the arguments: % units as given); at most % fit") \
  EVENT(LineLongerStill, "Installer: not started, the command line handed to the interpreter would be longer still (the arguments: % units as given); at most % fit") \
  EVENT(InstallerCommandLine, "Installer command line: % %") \
  EVENT(NotStarted, "Installer: could not be started: %") \
  EVENT(InterpreterStarted, "Command interpreter started, process %; it starts the installer") \
  EVENT(WaitFailed, "Installer: waiting failed; its exit code is read every % ms until it has ended") \
  EVENT(InstallerEnded, "Installer ended with %") \
  EVENT(RestoreProductHeld, "Restore: the product whose backup this run holds: row %") \
  EVENT(RestoreKeyNotOpened, "Restore: the registration % could not be opened for changing: %") \
  EVENT(RestoreForeignJournal, "Restore: TransformsBackup is of type %, no journal of the launcher's; it and Transforms are left alone") \
  EVENT(RestoreJournalUnread, "Restore: TransformsBackup could not be read (%); it stays for the next run") \
  EVENT(LeftAlone, "Restore: Transforms was left alone") \
  EVENT(WrittenBack, "Restore: Transforms written back: % type %, % bytes") \
  EVENT(DeletedHadNone, "Restore: Transforms deleted (the product had none)") \
  EVENT(JournalDeleted, "Restore: TransformsBackup deleted") \
  EVENT(NoJournal, "Restore: no TransformsBackup, nothing to put back") \
  EVENT(OwnRedirectionDeleted, "Restore: no TransformsBackup; the redirection this run wrote is deleted: % %") \
  EVENT(UnprovenStays, "Restore: no TransformsBackup; Transforms % stays: nothing shows that a run of the launcher wrote it") \
  EVENT(JournalGone, "Restore: the TransformsBackup this run wrote has gone; the own Transforms cannot be put back") \
  EVENT(Ends, "Setup ends with exit status % after % ms") \
  EVENT(Summary, "Summary: exit=% meaning=\"%\" installer=% product=% name=% code=% registered=% patch=\"%\" redirected=% warnings=% duration_ms=%")
// clang-format on

enum class LogEvent : std::uint8_t {
#define SETUP_LOG_EVENT_NAME(name, wording) name,
  SETUP_LOG_EVENTS(SETUP_LOG_EVENT_NAME)
#undef SETUP_LOG_EVENT_NAME
};

// A status, shown with its meaning (StatusMeaning); one without words is
// called a Windows error code.
struct StatusText {
  Status status;
};
// The installer's status, with the installer's meanings: its 1 is no
// service of ours, and one without words is its own status.
struct InstallerStatusText {
  Status status;
};

// One fact of an event, in the form the log shows it; two words on the
// launcher's 32-bit build, so that a step's facts cost little code.
struct LogFact {
  enum class Kind : std::uint8_t {
    Number,
    Signed,
    Hex4,
    Words,
    Text,
    Quoted,
    Masked,
    StatusCode,
    InstallerStatus,
    Line
  };
  LogFact(std::uint32_t value) : number(value), kind(Kind::Number) {}
  LogFact(int value) : number(static_cast<std::uint32_t>(value)), kind(Kind::Signed) {}
  LogFact(const char* ascii) : words(ascii), kind(Kind::Words) {}
  LogFact(const WideChar* units) : text(units), kind(Kind::Text) {}
  LogFact(StatusText status) : number(status.status), kind(Kind::StatusCode) {}
  LogFact(InstallerStatusText status) : number(status.status), kind(Kind::InstallerStatus) {}
  // A line put together already, as it is.
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

// `length` units of `text` between double quotes.
inline LogFact InQuotes(const WideChar* text, std::size_t length) {
  return LogFact(LogFact::Kind::Quoted, text, length);
}
inline LogFact InQuotes(const WideChar* text) { return InQuotes(text, TextLength(text)); }
// A command line with its secrets masked (AppendWithSecretsMasked).
inline LogFact SecretsMasked(const WideChar* commandText) {
  return LogFact(LogFact::Kind::Masked, commandText, 0);
}
// "0x" and four hexadecimal digits.
inline LogFact Hex4(std::uint32_t value) { return LogFact(LogFact::Kind::Hex4, value); }
// `length` units of `text`, as they are.
inline LogFact Span(const WideChar* text, std::size_t length) {
  return LogFact(LogFact::Kind::Line, text, length);
}

// Appends `event`'s wording with `facts` to `line`.
LogLine& Say(LogLine& line, LogEvent event, std::initializer_list<LogFact> facts = {});

// Writes `event` with `facts` as one line of the run's log.
void Tell(const RunState& run, LogEvent event, std::initializer_list<LogFact> facts = {});

// The same, with ", failed: <status (meaning)>" when `outcome` is not 0:
// one line for what a step did, its failure included.
void TellOutcome(const RunState& run, Status outcome, LogEvent event,
                 std::initializer_list<LogFact> facts = {});

}  // namespace setup

#endif  // SETUP_SHARED_LOG_EVENTS_H
