#include "transforms/transforms_redirection.h"

#include <iterator>
#include <string>

#include "detection/language_resolution.h"
#include "detection/language_table.h"
#include "discovery/file_discovery.h"
#include "platform/ascii_case.h"
#include "platform/bounded_text.h"
#include "platform/registry.h"
#include "shared/log_events.h"

namespace setup {

namespace {

// The product's registered transforms; the patch folder's while it runs.
constexpr WideChar kTransformsValue[] = u"Transforms";
// The journal: the product's own Transforms, empty when it had none, from the backup until the
// restore has put it back. For a product without one it records, after the empty text's zero,
// kRedirectionRecord and the value the run writes: readers of the text (older launchers too) see
// "", and the next run can tell that redirection from a value given since.
constexpr WideChar kTransformsBackupValue[] = u"TransformsBackup";
constexpr WideChar kRedirectionRecord[] = u"redirected:";
constexpr std::size_t kRecordMarkLength = std::size(kRedirectionRecord) - 1;
// Registered when the product's language is not known.
constexpr WideChar kDefaultTransform[] = u"1033.mst";

// Transforms as found beside no journal.
struct FoundTransforms {
  bool usable = false;  // read whole, or known to be absent
  StoredString value;   // as found, byte for byte; empty when absent
  bool absent = false;
};

// What the journal holds for a product without Transforms: an empty text, then the record of the
// redirection. False when memory runs out.
bool MakeRecordOfNone(const WideChar* redirection, StoredString& journal) {
  using Units = std::char_traits<WideChar>;
  const std::size_t redirectionLength = Units::length(redirection);
  const std::size_t length = 1 + kRecordMarkLength + redirectionLength + 1;
  WideChar* const room = journal.units.make_room(length);
  if (room == nullptr) return false;
  Units::copy(room + 1, kRedirectionRecord, kRecordMarkLength);
  Units::copy(room + 1 + kRecordMarkLength, redirection, redirectionLength);
  journal.units.set_length(length);
  journal.byteCount = static_cast<std::uint32_t>(length * sizeof(WideChar));
  journal.type = REG_SZ;
  return true;
}

// Whether the journal says the product had no Transforms: an empty text, or a record, one of an
// empty redirection no launcher writes included.
bool RecordsNone(const StoredString& journal) {
  const WideChar* const units = journal.units.c_str();
  return journal.IsEmpty() ||
         (units[0] == u'\0' && std::char_traits<WideChar>::compare(units + 1, kRedirectionRecord,
                                                                   kRecordMarkLength) == 0);
}

// Deletes `valueName`; an absent value is as good as a deleted one once a read agrees (a value left
// in place while the journal goes would be lost).
Status DeleteValueConfirmed(Platform& platform, RegKey key, const WideChar* valueName) {
  const Status status = platform.RegDeleteValueW(key, valueName);
  if (status != ERROR_FILE_NOT_FOUND) return status;
  StoredString left;
  return ReadStoredString(platform, key, valueName, left) == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS
                                                                                  : status;
}

// The redirection a journal records for a product that had no Transforms; null for any other
// journal, an older launcher's empty one included.
const WideChar* RecordedRedirection(const StoredString& journal) {
  if (journal.units.size() < 1 + kRecordMarkLength + 1 || !RecordsNone(journal)) return nullptr;
  const WideChar* const recorded = journal.units.c_str() + 1 + kRecordMarkLength;
  return recorded[0] != u'\0' ? recorded : nullptr;
}

// Whether `text` is a patch folder's redirection as a launcher writes it: its last two components
// are Files and a transform of the language table, letter case aside.
bool IsPatchFolderRedirection(const WideChar* text) {
  const std::size_t length = TextLength(text);
  std::size_t name = length;
  while (name > 0 && text[name - 1] != u'\\') --name;
  const std::size_t folderLength = std::size(kFilesFolder) - 1;
  if (name < folderLength ||
      !EqualsIgnoringAsciiCase(text + name - folderLength, kFilesFolder, folderLength)) {
    return false;
  }
  if (name > folderLength && text[name - folderLength - 1] != u'\\') return false;
  for (const LanguageEntry& language : LanguageTable) {
    if (TextLength(language.transformFile) == length - name &&
        EqualsIgnoringAsciiCase(text + name, language.transformFile, length - name)) {
      return true;
    }
  }
  return false;
}

// Asked twice before it is called absent: a value wrongly taken for absent would be overwritten or
// left behind.
Status ReadValueAskingTwice(Platform& platform, RegKey key, const WideChar* valueName,
                            StoredString& value) {
  const Status read = ReadStoredString(platform, key, valueName, value);
  return read == ERROR_FILE_NOT_FOUND ? ReadStoredString(platform, key, valueName, value) : read;
}

// When `putBack`, writes the journal's value back to Transforms, byte for byte with its type, or
// deletes Transforms for a journal saying the product had none; then deletes the journal, which
// stays for the next run when the value could not go back.
Status FinishJournal(Platform& platform, const RunState& run, RegKey key,
                     const StoredString& journal, bool putBack) {
  if (putBack) {
    const bool none = RecordsNone(journal);
    const Status restored = none ? DeleteValueConfirmed(platform, key, kTransformsValue)
                                 : WriteStoredString(platform, key, kTransformsValue, journal);
    if (none) {
      TellOutcome<LogEvent::DeletedHadNone>(run, restored);
    } else {
      TellOutcome<LogEvent::WrittenBack>(run, restored,
                                         InQuotes(journal.units.c_str(), journal.ShownLength()),
                                         journal.type, journal.byteCount);
    }
    if (restored != ERROR_SUCCESS) return restored;
  }
  // A journal left behind would later overwrite the product's value of then: having just been read,
  // even "not found" is a failure.
  const Status deleted = platform.RegDeleteValueW(key, kTransformsBackupValue);
  TellOutcome<LogEvent::JournalDeleted>(run, deleted);
  return deleted;
}

// Finishes a journal left by a run that did not finish. Its value goes back where Transforms is
// absent, equals it, is the redirection it records or, beside a journal recording none, a patch
// folder's redirection; any other value was given to the product since and stays.
Status RecoverJournal(Platform& platform, const RunState& run, RegKey key,
                      const StoredString& journal) {
  const auto journalText = InQuotes(journal.units.c_str(), journal.ShownLength());
  Tell<LogEvent::JournalLeft>(run, journalText);
  StoredString current;
  const Status read = ReadValueAskingTwice(platform, key, kTransformsValue, current);
  // A value of another type is no redirection: a launcher writes text.
  if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND && read != ERROR_INVALID_DATATYPE) {
    return read;
  }
  const WideChar* const recorded = RecordedRedirection(journal);
  const WideChar* const text = current.units.c_str();
  const bool equal = RecordsNone(journal) ? current.IsEmpty() && current.type == journal.type
                                          : SameStoredString(current, journal);
  const bool earlierRuns =
      read == ERROR_FILE_NOT_FOUND ||
      (read == ERROR_SUCCESS && (equal || (recorded != nullptr ? TextEquals(text, recorded)
                                                               : IsPatchFolderRedirection(text))));
  if (!earlierRuns) {
    Tell<LogEvent::RecoveryGivenSince>(
        run,
        read == ERROR_SUCCESS ? InQuotes(text, current.ShownLength()) : LogFact("of another type"),
        journalText);
  }
  return FinishJournal(platform, run, key, journal, earlierRuns);
}

// Not usable, logged, when Transforms exists but cannot be read whole.
FoundTransforms ReadOwnTransforms(Platform& platform, const RunState& run, RegKey key) {
  FoundTransforms found;
  const Status read = ReadStoredString(platform, key, kTransformsValue, found.value);
  found.absent = read == ERROR_FILE_NOT_FOUND;
  found.usable = read == ERROR_SUCCESS || found.absent;
  if (!found.usable) Tell<LogEvent::TransformsUnread>(run, StatusText{read});
  return found;
}

// Copies the found Transforms to the journal, or, for a product without one, writes an empty text
// recording `redirection`. True once written.
bool BackupTransforms(Platform& platform, const RunState& run, RegKey key,
                      const FoundTransforms& found, const WideChar* redirection) {
  StoredString record;
  if (found.absent && !MakeRecordOfNone(redirection, record)) {
    Tell<LogEvent::BackupFailed>(run, StatusText{ERROR_NOT_ENOUGH_MEMORY});
    return false;
  }
  // Byte for byte with its type, so that an expandable value comes back expandable and one holding
  // a zero comes back whole.
  const StoredString& journal = found.absent ? record : found.value;
  const Status written = WriteStoredString(platform, key, kTransformsBackupValue, journal);
  LogLine line;
  if (found.absent) {
    Say<LogEvent::RecordOfNone>(line);
  } else {
    Say<LogEvent::BackupCopied>(line, InQuotes(journal.units.c_str(), journal.ShownLength()),
                                journal.type, journal.byteCount);
  }
  if (written != ERROR_SUCCESS) Say<LogEvent::BackupNotWritten>(line, StatusText{written});
  WriteLogLine(run.Log, line);
  return written == ERROR_SUCCESS;
}

// Whether Transforms still reads as the value backed up: a read that went wrong during the backup
// must not lead to overwriting a value with no copy.
bool StillOwnValue(Platform& platform, RegKey key, const FoundTransforms& found) {
  StoredString current;
  const Status read = ReadStoredString(platform, key, kTransformsValue, current);
  if (read == ERROR_FILE_NOT_FOUND) return found.absent;
  return read == ERROR_SUCCESS && !found.absent && SameStoredString(current, found.value);
}

// A registration that cannot be opened for changing: nothing is redirected, and a journal left in
// it (read without asking to change it) cannot be finished, which ends the run with `opened`.
Status KeyNotOpened(Platform& platform, const RunState& run, const WidePath& keyPath,
                    Status opened) {
  StoredString journal;
  ScopedRegKey key(platform);
  const bool journalLeft =
      OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ, key) == ERROR_SUCCESS &&
      ReadStoredString(platform, key.get(), kTransformsBackupValue, journal) == ERROR_SUCCESS;
  if (journalLeft) {
    Tell<LogEvent::RecoveryKeyNotOpened>(run, keyPath.c_str(), StatusText{opened});
  } else {
    Tell<LogEvent::BackupKeyNotOpened>(run, keyPath.c_str(), StatusText{opened});
  }
  return journalLeft ? opened : ERROR_SUCCESS;
}

// Finishes what an earlier run left in the registration, before this run changes anything: 0 when
// nothing is left (or it is done), else the status that stops the run; ERROR_INVALID_DATATYPE for a
// journal not of a launcher's making, which stays, and Transforms beside it.
Status RecoverEarlierRun(Platform& platform, const RunState& run, RegKey key) {
  StoredString journal;
  const Status read = ReadValueAskingTwice(platform, key, kTransformsBackupValue, journal);
  if (read == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (read == ERROR_INVALID_DATATYPE) {
    Tell<LogEvent::ForeignJournal>(run, "Backup", journal.type);
    return read;
  }
  const Status recovered =
      read == ERROR_SUCCESS ? RecoverJournal(platform, run, key, journal) : read;
  if (recovered != ERROR_SUCCESS) Tell<LogEvent::RecoveryFailed>(run, StatusText{recovered});
  return recovered;
}

// This run's journal is no longer there: where Transforms was redirected, the product's own value
// cannot go back; left alone, it needs no backup.
Status JournalLost(const RunState& run, bool redirected) {
  if (!redirected) return ERROR_SUCCESS;
  Tell<LogEvent::JournalGone>(run);
  return ERROR_FILE_NOT_FOUND;
}

// Without a journal, Transforms is deleted only when it is the redirection this run wrote: a value
// nothing proves ours (the product's own, media laid out like a patch folder) stays.
Status RestoreWithoutJournal(Platform& platform, const RunState& run, RegKey key,
                             const Redirection& redirection) {
  const bool redirected = redirection.held == Held::Redirection;
  StoredString stored;
  const Status read = ReadStoredString(platform, key, kTransformsValue, stored);
  const WideChar* const current = stored.units.c_str();
  if (read != ERROR_SUCCESS) {
    Tell<LogEvent::NoJournal>(run);
  } else if (redirected && TextEquals(current, redirection.written.c_str())) {
    const Status deleted = DeleteValueConfirmed(platform, key, kTransformsValue);
    Tell<LogEvent::OwnRedirectionDeleted>(run, InQuotes(current), StatusText{deleted});
  } else {
    Tell<LogEvent::UnprovenStays>(run, InQuotes(current));
  }
  return JournalLost(run, redirected);
}

// `unchanged` with `found` backed up and the redirection written.
Redirection BackUpAndRedirect(Platform& platform, const RunState& run, const PatchFolder& folder,
                              ScopedRegKey& key, const FoundTransforms& found,
                              const Redirection& unchanged) {
  Redirection redirection = unchanged;
  const int language = LanguageOfTransforms(
      run, found.value, found.value.byteCount > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  const WideChar* const transform =
      language == kNoLanguage ? kDefaultTransform : LanguageTable[language].transformFile;
  WidePath redirected;
  if (!folder.Join(redirected, {kFilesFolder, transform})) {
    Tell<LogEvent::RedirectionTooLong>(run, redirected.writable_size() - 1);
    return redirection;
  }
  if (!BackupTransforms(platform, run, key.get(), found, redirected.c_str())) {
    Tell<LogEvent::NotRedirected>(run);
    return redirection;
  }
  if (!StillOwnValue(platform, key.get(), found)) {
    Tell<LogEvent::OwnValueChanged>(run);
    redirection.held = Held::Journal;
    return redirection;
  }
  // A write reported failed may have landed: the restore puts it back.
  redirection.held = Held::Redirection;
  redirection.written = redirected;
  const Status set = platform.RegSetValueExW(
      key.get(), kTransformsValue, REG_SZ,
      reinterpret_cast<const std::uint8_t*>(redirected.c_str()),
      static_cast<std::uint32_t>((redirected.length() + 1) * sizeof(WideChar)));
  const Status closed = key.reset();
  TellOutcome<LogEvent::Redirected>(run, set != ERROR_SUCCESS ? set : closed,
                                    InQuotes(redirected.c_str()));
  // Kept all the same: the product's own value names no file of the patch folder either, and the
  // restore puts it back whatever happens.
  if (!FileExists(platform, redirected.c_str())) {
    redirection.warnings |= kWarnTransformMissing;
    Tell<LogEvent::TransformMissing>(run, transform);
  }
  return redirection;
}

Status RestoreThroughKey(Platform& platform, const RunState& run, RegKey key,
                         const Redirection& redirection) {
  const bool redirected = redirection.held == Held::Redirection;
  StoredString journal;
  const Status journalRead = ReadStoredString(platform, key, kTransformsBackupValue, journal);
  switch (journalRead) {
    case ERROR_SUCCESS:
      // This run's journal: whatever Transforms holds now is the redirection (the installer may
      // rewrite what it was given), unless it was left alone.
      if (!redirected) Tell<LogEvent::LeftAlone>(run);
      return FinishJournal(platform, run, key, journal, redirected);
    case ERROR_INVALID_DATATYPE:
      // Not of a launcher's making, it took the place of this run's journal.
      Tell<LogEvent::ForeignJournal>(run, "Restore", journal.type);
      return JournalLost(run, redirected);
    case ERROR_FILE_NOT_FOUND:
      return RestoreWithoutJournal(platform, run, key, redirection);
    default:
      Tell<LogEvent::RestoreJournalUnread>(run, StatusText{journalRead});
      return journalRead;
  }
}

}  // namespace

Redirection RedirectTransforms(Platform& platform, const RunState& run, const PatchFolder& folder,
                               const Identification& product) {
  Redirection redirection;
  redirection.product = product.row;
  redirection.keyPath = product.keyPath;
  if (folder.path.empty()) return redirection;
  if (product.row == kNoProduct) {
    Tell<LogEvent::NotRedirected>(run);
    return redirection;
  }
  // One key for the whole step: finish, read, back up, check and write through it.
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, product.keyPath.c_str(), KEY_READ_WRITE, key);
  // Refused for changing, it was found all the same.
  redirection.registered = opened == ERROR_SUCCESS || opened == ERROR_ACCESS_DENIED;
  if (opened == ERROR_FILE_NOT_FOUND) {
    redirection.warnings = LogNotRegisteredPerMachine(run, product.row);
  }
  const Status earlier = opened == ERROR_SUCCESS ? RecoverEarlierRun(platform, run, key.get())
                         : opened == ERROR_FILE_NOT_FOUND
                             ? ERROR_SUCCESS
                             : KeyNotOpened(platform, run, product.keyPath, opened);
  const bool foreign = opened == ERROR_SUCCESS && earlier == ERROR_INVALID_DATATYPE;
  redirection.recovery = foreign ? ERROR_SUCCESS : earlier;
  if (redirection.recovery != ERROR_SUCCESS) return redirection;
  const FoundTransforms found = opened == ERROR_SUCCESS && !foreign
                                    ? ReadOwnTransforms(platform, run, key.get())
                                    : FoundTransforms{};
  if (found.usable) return BackUpAndRedirect(platform, run, folder, key, found, redirection);
  Tell<LogEvent::NotRedirected>(run);
  return redirection;
}

Status RestoreTransforms(Platform& platform, const RunState& run, const Redirection& redirection) {
  if (redirection.held == Held::Nothing) return ERROR_SUCCESS;  // no journal of this run's
  Tell<LogEvent::RestoreProductHeld>(run, redirection.product);
  ScopedRegKey key(platform);
  const Status opened =
      OpenClassesRootKey(platform, redirection.keyPath.c_str(), KEY_READ_WRITE, key);
  if (opened != ERROR_SUCCESS) {
    Tell<LogEvent::RestoreKeyNotOpened>(run, redirection.keyPath.c_str(), StatusText{opened});
    return opened;
  }
  const Status restored = RestoreThroughKey(platform, run, key.get(), redirection);
  const Status closed = key.reset();
  return restored != ERROR_SUCCESS ? restored : closed;
}

}  // namespace setup
