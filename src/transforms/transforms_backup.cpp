#include "transforms/transforms_backup.h"

#include "platform/bounded_text.h"
#include "platform/registry.h"
#include "shared/log_events.h"

namespace setup {

namespace {

// Whether the journal is absent, asked twice: overwriting one wrongly
// reported missing would lose the only copy of the product's own value.
bool JournalAbsent(Platform& platform, RegKey key, Status firstRead) {
  if (firstRead != ERROR_FILE_NOT_FOUND) return false;
  StoredString journal;
  return ReadStoredString(platform, key, kTransformsBackupValue, journal) == ERROR_FILE_NOT_FOUND;
}

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

}  // namespace

const WideChar* RecordedRedirection(const StoredString& journal) {
  const std::size_t markLength = TextLength(kRedirectionRecord);
  const WideChar* const units = journal.units.c_str();
  if (journal.units.size() < 1 + markLength + 1 || units[0] != u'\0' ||
      !StartsWith(units + 1, kRedirectionRecord)) {
    return nullptr;
  }
  // The launcher never records an empty redirection: such a journal is
  // taken as the plain empty one.
  const WideChar* const recorded = units + 1 + markLength;
  return recorded[0] != u'\0' ? recorded : nullptr;
}

FoundRegistration ReadRegistration(Platform& platform, const RunState& run, RegKey key) {
  FoundRegistration found;
  StoredString& journal = found.journal;
  const Status journalRead = ReadStoredString(platform, key, kTransformsBackupValue, journal);
  if (journalRead == ERROR_SUCCESS) {
    found.journalLeft = true;  // left by a run that did not finish; Transforms may be ours
    Tell(platform, run, LogEvent::JournalLeft,
         {InQuotes(journal.units.c_str(), journal.ShownLength())});
  } else if (journalRead == ERROR_INVALID_DATATYPE) {
    Tell(platform, run, LogEvent::BackupForeignJournal, {journal.type});
    return found;
  } else if (!JournalAbsent(platform, key, journalRead)) {
    Tell(platform, run, LogEvent::JournalUnread, {StatusText{journalRead}});
    return found;
  }

  const Status read = ReadStoredString(platform, key, kTransformsValue, found.transforms);
  found.transformsAbsent = read == ERROR_FILE_NOT_FOUND;
  // With a journal kept, Transforms only names the language; without one it
  // is the value to back up, which must be read whole.
  found.usable = read == ERROR_SUCCESS || found.transformsAbsent || found.journalLeft;
  if (!found.usable) Tell(platform, run, LogEvent::TransformsUnread, {StatusText{read}});
  return found;
}

TransformsJournal BackupTransforms(Platform& platform, const RunState& run, RegKey key,
                                   const FoundRegistration& found, const WideChar* redirection) {
  if (!found.usable) return {};
  if (found.journalLeft) return {/*held=*/true, /*writtenNow=*/false};
  StoredString record;
  if (found.transformsAbsent && !MakeRecordOfNone(redirection, record)) {
    Tell(platform, run, LogEvent::BackupFailed, {StatusText{ERROR_NOT_ENOUGH_MEMORY}});
    return {};
  }
  // Byte for byte with its type, so that an expandable value comes back
  // expandable and one holding a zero comes back whole.
  const StoredString& journal = found.transformsAbsent ? record : found.transforms;
  const Status written = platform.RegSetValueExW(key, kTransformsBackupValue, journal.type,
                                                 journal.bytes(), journal.byteCount);
  LogLine line;
  Say(line, found.transformsAbsent ? LogEvent::RecordOfNone : LogEvent::BackupCopied,
      {InQuotes(journal.units.c_str(), journal.ShownLength()), journal.type, journal.byteCount});
  if (written != ERROR_SUCCESS) Say(line, LogEvent::BackupNotWritten, {StatusText{written}});
  WriteLogLine(platform, run.Log, line);
  if (written != ERROR_SUCCESS) return {};
  return {/*held=*/true, /*writtenNow=*/true};
}

}  // namespace setup
