#include "transforms/transforms_redirection.h"

#include "detection/language_resolution.h"
#include "detection/language_table.h"
#include "discovery/file_discovery.h"
#include "platform/bounded_text.h"
#include "platform/registry.h"
#include "shared/log_events.h"
#include "transforms/transforms_journal.h"

namespace setup {

namespace {

// Whether Transforms still reads as the value backed up: a read that went
// wrong during the backup must not lead to overwriting a value with no copy.
bool StillOwnValue(Platform& platform, RegKey key, const FoundTransforms& found) {
  StoredString current;
  const Status read = ReadStoredString(platform, key, kTransformsValue, current);
  if (read == ERROR_FILE_NOT_FOUND) return found.absent;
  return read == ERROR_SUCCESS && !found.absent && SameStoredString(current, found.value);
}

// A registration that cannot be opened for changing: nothing is
// redirected, and a journal left in it (read without asking to change it)
// cannot be finished, which ends the run with `opened`.
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

// Finishes what an earlier run left in the registration, before this run
// changes anything: 0 when nothing is left (or it is done), else the
// status that stops the run; ERROR_INVALID_DATATYPE for a journal not of a
// launcher's making, which stays, and Transforms beside it.
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

// This run's journal is no longer there: where Transforms was redirected,
// the product's own value cannot go back; left alone, it needs no backup.
Status JournalLost(const RunState& run, bool redirected) {
  if (!redirected) return ERROR_SUCCESS;
  Tell<LogEvent::JournalGone>(run);
  return ERROR_FILE_NOT_FOUND;
}

// Without a journal, Transforms is deleted only when it is the redirection
// this run wrote: a value nothing proves ours (the product's own, media
// laid out like a patch folder) stays.
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

// `unchanged` once `found` is backed up and the redirection written
// through `key`, logged.
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
  // Kept all the same: the product's own value names no file of the patch
  // folder either, and the restore puts it back whatever happens.
  if (!FileExists(platform, redirected.c_str())) {
    redirection.warnings |= kWarnTransformMissing;
    Tell<LogEvent::TransformMissing>(run, transform);
  }
  return redirection;
}

// Puts back what this run's journal holds, through the product's `key`.
Status RestoreThroughKey(Platform& platform, const RunState& run, RegKey key,
                         const Redirection& redirection) {
  const bool redirected = redirection.held == Held::Redirection;
  StoredString journal;
  const Status journalRead = ReadStoredString(platform, key, kTransformsBackupValue, journal);
  switch (journalRead) {
    case ERROR_SUCCESS:
      // This run's journal: whatever Transforms holds now is the redirection
      // (the installer may rewrite what it was given), unless it was left alone.
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
