#include "transforms/transforms_backup.h"

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

}  // namespace

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
