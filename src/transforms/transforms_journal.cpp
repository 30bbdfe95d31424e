#include "transforms/transforms_journal.h"

#include "detection/language_table.h"
#include "discovery/file_discovery.h"
#include "platform/ascii_case.h"
#include "platform/bounded_text.h"
#include "shared/log_events.h"

namespace setup {

namespace {

void CopyUnits(const WideChar* from, std::size_t count, WideChar* to) {
  for (std::size_t at = 0; at < count; ++at) to[at] = from[at];
}

// What the journal holds for a product without Transforms: an empty text,
// then the record of the redirection. False when memory runs out.
bool MakeRecordOfNone(const WideChar* redirection, StoredString& journal) {
  const std::size_t markLength = TextLength(kRedirectionRecord);
  const std::size_t length = 1 + markLength + TextLength(redirection) + 1;
  WideChar* const room = journal.units.make_room(length);
  if (room == nullptr) return false;
  CopyUnits(kRedirectionRecord, markLength, room + 1);
  CopyUnits(redirection, TextLength(redirection), room + 1 + markLength);
  journal.units.set_length(length);
  journal.byteCount = static_cast<std::uint32_t>(length * sizeof(WideChar));
  journal.type = REG_SZ;
  return true;
}

// Whether the journal says the product had no Transforms: an empty text,
// or a record, one of an empty redirection no launcher writes included.
bool RecordsNone(const StoredString& journal) {
  const WideChar* const units = journal.units.c_str();
  return journal.IsEmpty() || (units[0] == u'\0' && StartsWith(units + 1, kRedirectionRecord));
}

}  // namespace

Status DeleteValueConfirmed(Platform& platform, RegKey key, const WideChar* valueName) {
  const Status status = platform.RegDeleteValueW(key, valueName);
  if (status != ERROR_FILE_NOT_FOUND) return status;
  StoredString left;
  return ReadStoredString(platform, key, valueName, left) == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS
                                                                                  : status;
}

const WideChar* RecordedRedirection(const StoredString& journal) {
  const std::size_t markLength = TextLength(kRedirectionRecord);
  const WideChar* const units = journal.units.c_str();
  if (journal.units.size() < 1 + markLength + 1 || !RecordsNone(journal)) return nullptr;
  const WideChar* const recorded = units + 1 + markLength;
  return recorded[0] != u'\0' ? recorded : nullptr;
}

bool IsPatchFolderRedirection(const WideChar* text) {
  const std::size_t length = TextLength(text);
  std::size_t name = length;
  while (name > 0 && text[name - 1] != u'\\') --name;
  const std::size_t folderLength = TextLength(kFilesFolder);  // "Files\"
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

Status ReadValueAskingTwice(Platform& platform, RegKey key, const WideChar* valueName,
                            StoredString& value) {
  const Status read = ReadStoredString(platform, key, valueName, value);
  return read == ERROR_FILE_NOT_FOUND ? ReadStoredString(platform, key, valueName, value) : read;
}

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
  // A journal left behind would later overwrite the product's value of
  // then: having just been read, even "not found" is a failure.
  const Status deleted = platform.RegDeleteValueW(key, kTransformsBackupValue);
  TellOutcome<LogEvent::JournalDeleted>(run, deleted);
  return deleted;
}

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

FoundTransforms ReadOwnTransforms(Platform& platform, const RunState& run, RegKey key) {
  FoundTransforms found;
  const Status read = ReadStoredString(platform, key, kTransformsValue, found.value);
  found.absent = read == ERROR_FILE_NOT_FOUND;
  found.usable = read == ERROR_SUCCESS || found.absent;
  if (!found.usable) Tell<LogEvent::TransformsUnread>(run, StatusText{read});
  return found;
}

bool BackupTransforms(Platform& platform, const RunState& run, RegKey key,
                      const FoundTransforms& found, const WideChar* redirection) {
  StoredString record;
  if (found.absent && !MakeRecordOfNone(redirection, record)) {
    Tell<LogEvent::BackupFailed>(run, StatusText{ERROR_NOT_ENOUGH_MEMORY});
    return false;
  }
  // Byte for byte with its type, so that an expandable value comes back
  // expandable and one holding a zero comes back whole.
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

}  // namespace setup
