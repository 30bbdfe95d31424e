#include "transforms/transforms_redirection.h"

#include "detection/language_resolution.h"
#include "detection/language_table.h"
#include "detection/product_identification.h"
#include "detection/product_table.h"
#include "discovery/file_discovery.h"
#include "platform/bounded_text.h"
#include "platform/registry.h"
#include "shared/log_events.h"
#include "shared/user_messages.h"
#include "transforms/transforms_backup.h"
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
  Tell(run, journalLeft ? LogEvent::RecoveryKeyNotOpened : LogEvent::BackupKeyNotOpened,
       {keyPath.c_str(), StatusText{opened}});
  return journalLeft ? opened : ERROR_SUCCESS;
}

// Finishes what an earlier run left in the registration, before this run
// changes anything: 0 when nothing is left (or it is done), else the
// status that stops the run.
Status RecoverEarlierRun(Platform& platform, const RunState& run, RegKey key, bool& foreign) {
  StoredString journal;
  const Status read = ReadValueAskingTwice(platform, key, kTransformsBackupValue, journal);
  foreign = read == ERROR_INVALID_DATATYPE;
  if (foreign) Tell(run, LogEvent::BackupForeignJournal, {journal.type});
  if (read == ERROR_FILE_NOT_FOUND || foreign) return ERROR_SUCCESS;
  const Status recovered =
      read == ERROR_SUCCESS ? RecoverJournal(platform, run, key, journal) : read;
  if (recovered != ERROR_SUCCESS) {
    Tell(run, LogEvent::RecoveryFailed, {StatusText{recovered}});
  }
  return recovered;
}

// Without a journal, Transforms is deleted only when it is the redirection
// this run wrote: a value nothing proves ours (the product's own, media
// laid out like a patch folder) stays.
Status RestoreWithoutJournal(Platform& platform, const RunState& run, RegKey key) {
  const Redirection& redirection = run.CurrentRedirection;
  HeapText current;
  if (ReadRegistryString(platform, key, kTransformsValue, current) != ERROR_SUCCESS) {
    Tell(run, LogEvent::NoJournal);
  } else if (redirection.transformsWritten &&
             TextEquals(current.c_str(), redirection.written.c_str())) {
    const Status deleted = DeleteValueConfirmed(platform, key, kTransformsValue);
    Tell(run, LogEvent::OwnRedirectionDeleted, {InQuotes(current.c_str()), StatusText{deleted}});
  } else {
    Tell(run, LogEvent::UnprovenStays, {InQuotes(current.c_str())});
  }
  // Left alone, the product's own value needs no backup.
  if (!redirection.transformsWritten) return ERROR_SUCCESS;
  Tell(run, LogEvent::JournalGone);
  return ERROR_FILE_NOT_FOUND;
}

}  // namespace

Status RedirectTransforms(Platform& platform, RunState& run) {
  run.CurrentRedirection = Redirection{};
  IdentifyProduct(platform, run);
  if (run.SourceFolderPath.empty()) {
    ShowUserMessage(platform, run, u"Fatal Error, no source directory.", u"Error:", MB_OK);
    return ERROR_SUCCESS;
  }
  if (run.CurrentProduct == kNoProduct) {
    Tell(run, LogEvent::NotRedirected);
    return ERROR_SUCCESS;
  }
  // One key for the whole step: finish, read, back up, check and write through it.
  const WidePath keyPath = ProductKeyPath(run.CurrentProduct);
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ_WRITE, key);
  // Refused for changing, it was found all the same.
  run.RegistrationFound = opened == ERROR_SUCCESS || opened == ERROR_ACCESS_DENIED;
  if (opened == ERROR_FILE_NOT_FOUND) LogNotRegisteredPerMachine(run, run.CurrentProduct);
  bool foreign = false;
  const Status recovered = opened == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS
                           : opened != ERROR_SUCCESS
                               ? KeyNotOpened(platform, run, keyPath, opened)
                               : RecoverEarlierRun(platform, run, key.get(), foreign);
  if (recovered != ERROR_SUCCESS) return recovered;
  const FoundTransforms found = opened == ERROR_SUCCESS && !foreign
                                    ? ReadOwnTransforms(platform, run, key.get())
                                    : FoundTransforms{};
  if (!found.usable) {
    Tell(run, LogEvent::NotRedirected);
    return ERROR_SUCCESS;
  }
  const int language =
      LanguageOfTransforms(run, found.value.units.c_str(),
                           found.value.byteCount > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  const WideChar* const transform =
      language == kNoLanguage ? kDefaultTransform : LanguageTable[language].transformFile;
  WidePath redirected = FilesFolderPath(run);
  if (redirected.empty() || !redirected.append(transform)) {
    Tell(run, LogEvent::RedirectionTooLong, {redirected.writable_size() - 1});
    return ERROR_SUCCESS;
  }
  if (!BackupTransforms(platform, run, key.get(), found, redirected.c_str())) {
    Tell(run, LogEvent::NotRedirected);
    return ERROR_SUCCESS;
  }
  Redirection& redirection = run.CurrentRedirection;
  redirection.product = run.CurrentProduct;
  if (!StillOwnValue(platform, key.get(), found)) {
    Tell(run, LogEvent::OwnValueChanged);
    return ERROR_SUCCESS;
  }
  // A write reported failed may have landed: the restore puts it back.
  redirection.transformsWritten = true;
  redirection.written = redirected;
  const Status set = platform.RegSetValueExW(
      key.get(), kTransformsValue, REG_SZ,
      reinterpret_cast<const std::uint8_t*>(redirected.c_str()),
      static_cast<std::uint32_t>((redirected.length() + 1) * sizeof(WideChar)));
  const Status closed = key.reset();
  const Status written = set != ERROR_SUCCESS ? set : closed;
  TellOutcome(run, written, LogEvent::Redirected, {InQuotes(redirected.c_str())});
  // Kept all the same: the product's own value names no file of the patch
  // folder either, and the restore puts it back whatever happens.
  if (!FileExists(platform, redirected.c_str())) {
    run.Warnings |= kWarnTransformMissing;
    Tell(run, LogEvent::TransformMissing, {transform});
  }
  return ERROR_SUCCESS;
}

Status RestoreTransforms(Platform& platform, RunState& run) {
  const Redirection& redirection = run.CurrentRedirection;
  if (redirection.product == kNoProduct) return ERROR_SUCCESS;  // no journal of this run's
  Tell(run, LogEvent::RestoreProductHeld, {redirection.product});
  const WidePath keyPath = ProductKeyPath(redirection.product);
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ_WRITE, key);
  if (opened != ERROR_SUCCESS) {
    Tell(run, LogEvent::RestoreKeyNotOpened, {keyPath.c_str(), StatusText{opened}});
    return opened;
  }
  StoredString journal;
  const Status journalRead = ReadStoredString(platform, key.get(), kTransformsBackupValue, journal);
  Status restored = ERROR_SUCCESS;
  if (journalRead == ERROR_SUCCESS) {
    // This run's journal: whatever Transforms holds now is the redirection
    // (the installer may rewrite what it was given), unless it was left alone.
    if (!redirection.transformsWritten) Tell(run, LogEvent::LeftAlone);
    restored = FinishJournal(platform, run, key.get(), journal, redirection.transformsWritten);
  } else if (journalRead == ERROR_INVALID_DATATYPE) {
    Tell(run, LogEvent::RestoreForeignJournal, {journal.type});
  } else if (journalRead != ERROR_FILE_NOT_FOUND) {
    Tell(run, LogEvent::RestoreJournalUnread, {StatusText{journalRead}});
    restored = journalRead;
  } else {
    restored = RestoreWithoutJournal(platform, run, key.get());
  }
  const Status closed = key.reset();
  return restored != ERROR_SUCCESS ? restored : closed;
}

}  // namespace setup
