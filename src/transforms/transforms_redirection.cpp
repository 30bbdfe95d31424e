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

namespace setup {

namespace {

// An absent value is as good as a deleted one, once a read agrees that it
// is absent: a value left in place while the backup goes would be lost.
Status DeleteValue(Platform& platform, RegKey key, const WideChar* valueName) {
  const Status status = platform.RegDeleteValueW(key, valueName);
  if (status != ERROR_FILE_NOT_FOUND) return status;
  HeapText left;
  return ReadRegistryString(platform, key, valueName, left) == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS
                                                                                    : status;
}

// Whether Transforms still reads as the value backed up: a read that went
// wrong during the backup must not lead to overwriting a value with no copy.
bool StillOwnValue(Platform& platform, RegKey key, const FoundRegistration& found) {
  StoredString current;
  const Status read = ReadStoredString(platform, key, kTransformsValue, current);
  if (read == ERROR_FILE_NOT_FOUND) return found.transformsAbsent;
  return read == ERROR_SUCCESS && !found.transformsAbsent &&
         SameStoredString(current, found.transforms);
}

// Whether this run backed up the product's own value and left it in place.
bool OwnValueLeftInPlace(const RunState& run) {
  const Redirection& redirection = run.CurrentRedirection;
  return redirection.product == run.CurrentProduct && redirection.backupWrittenNow &&
         !redirection.transformsWritten;
}

// Whether this run pointed the product's Transforms at the patch folder.
bool RedirectedNow(const RunState& run) {
  const Redirection& redirection = run.CurrentRedirection;
  return redirection.product == run.CurrentProduct && redirection.transformsWritten;
}

// For a journal recording that the product had no Transforms: deletes the
// recorded redirection, or whatever Transforms holds if this run wrote the
// journal (the installer may rewrite what it was given). Any other value
// beside an earlier run's journal was given to the product since: it stays.
Status RemoveRecordedRedirection(Platform& platform, const RunState& run, RegKey key,
                                 const WideChar* recorded) {
  HeapText current;
  Status read = ReadRegistryString(platform, key, kTransformsValue, current);
  // Asked twice: a redirection wrongly taken for absent would stay behind.
  if (read == ERROR_FILE_NOT_FOUND)
    read = ReadRegistryString(platform, key, kTransformsValue, current);
  if (read == ERROR_FILE_NOT_FOUND) {
    Tell(platform, run, LogEvent::StillNone);
    return ERROR_SUCCESS;
  }
  // A value of another type is no redirection: the launcher writes text.
  const bool readable = read == ERROR_SUCCESS || read == ERROR_INVALID_DATATYPE;
  // This run's own journal says the product had none when it began.
  const bool thisRuns = RedirectedNow(run) || run.CurrentRedirection.backupWrittenNow;
  const bool ours =
      thisRuns ? readable : read == ERROR_SUCCESS && TextEquals(current.c_str(), recorded);
  if (readable && !ours) {
    Tell(platform, run, LogEvent::RestoreGivenSince, {InQuotes(current.c_str())});
    return ERROR_SUCCESS;
  }
  const Status deleted = ours ? DeleteValue(platform, key, kTransformsValue) : read;
  TellOutcome(platform, run, deleted, ours ? LogEvent::DeletedHadNone : LogEvent::UnreadHadNone);
  return deleted;
}

// Puts the journal's value back, byte for byte with its type, then deletes
// the journal; it stays for the next run when the value could not go back.
Status FinishJournal(Platform& platform, const RunState& run, RegKey key,
                     const StoredString& journal) {
  Status restored = ERROR_SUCCESS;
  if (OwnValueLeftInPlace(run)) {
    Tell(platform, run, LogEvent::LeftAlone);
  } else if (const WideChar* recorded = RecordedRedirection(journal)) {
    restored = RemoveRecordedRedirection(platform, run, key, recorded);
  } else {
    restored = journal.IsEmpty() ? DeleteValue(platform, key, kTransformsValue)
                                 : platform.RegSetValueExW(key, kTransformsValue, journal.type,
                                                           journal.bytes(), journal.byteCount);
    TellOutcome(
        platform, run, restored,
        journal.IsEmpty() ? LogEvent::DeletedHadNone : LogEvent::WrittenBack,
        {InQuotes(journal.units.c_str(), journal.ShownLength()), journal.type, journal.byteCount});
  }
  if (restored != ERROR_SUCCESS) return restored;
  // A journal left behind would later overwrite the product's value of
  // then: having just been read, even "not found" is a failure.
  const Status deleted = platform.RegDeleteValueW(key, kTransformsBackupValue);
  TellOutcome(platform, run, deleted, LogEvent::JournalDeleted);
  return deleted;
}

// Without a journal, Transforms is deleted only when it is the redirection
// this run wrote: a value nothing proves ours (the product's own, media
// laid out like a patch folder) stays.
Status RestoreWithoutJournal(Platform& platform, const RunState& run, RegKey key) {
  HeapText current;
  if (ReadRegistryString(platform, key, kTransformsValue, current) != ERROR_SUCCESS) {
    Tell(platform, run, LogEvent::NoJournal);
  } else if (RedirectedNow(run) &&
             TextEquals(current.c_str(), run.CurrentRedirection.written.c_str())) {
    const Status deleted = DeleteValue(platform, key, kTransformsValue);
    Tell(platform, run, LogEvent::OwnRedirectionDeleted,
         {InQuotes(current.c_str()), StatusText{deleted}});
  } else {
    Tell(platform, run, LogEvent::UnprovenStays, {InQuotes(current.c_str())});
  }
  if (run.CurrentRedirection.product == run.CurrentProduct && !OwnValueLeftInPlace(run)) {
    Tell(platform, run, LogEvent::JournalGone);
    return ERROR_FILE_NOT_FOUND;  // the backup this run relied on has gone
  }
  return ERROR_SUCCESS;
}

// The product to restore, logged: the one whose backup this run holds;
// else identified again, for a journal an earlier run may have left.
int ProductToRestore(Platform& platform, RunState& run) {
  const bool fromBackup = run.CurrentRedirection.product != kNoProduct;
  const int row = fromBackup ? run.CurrentRedirection.product
                             : FindTarget(platform, PatchPackageName(platform, run).c_str(),
                                          run.LanguagePack.value_or(false))
                                   .row;
  const bool same = row == run.CurrentProduct;
  Tell(platform, run,
       fromBackup ? LogEvent::RestoreProductHeld
       : row != kNoProduct
           ? (same ? LogEvent::RestoreProductAgain : LogEvent::RestoreProductDifferently)
           : (same ? LogEvent::RestoreNoProduct : LogEvent::RestoreNoProductNow),
       {row});
  return row;
}

// A registration that cannot be opened for changing: a failure that counts
// when the run changed it or a journal is left in it (read without asking
// to change it); nothing to put back otherwise.
RestoreOutcome RestoreRefused(Platform& platform, const RunState& run, const WidePath& keyPath,
                              Status opened) {
  StoredString journal;
  ScopedRegKey key(platform);
  const bool counts =
      run.CurrentRedirection.registrationInPlay ||
      (OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ, key) == ERROR_SUCCESS &&
       ReadStoredString(platform, key.get(), kTransformsBackupValue, journal) == ERROR_SUCCESS);
  Tell(platform, run, counts ? LogEvent::RestoreKeyNotOpened : LogEvent::NothingToRestoreIn,
       {keyPath.c_str(), StatusText{opened}});
  return {counts ? opened : ERROR_SUCCESS, counts};
}

}  // namespace

void RedirectTransforms(Platform& platform, RunState& run) {
  run.CurrentRedirection = Redirection{};
  IdentifyProduct(platform, run);
  if (run.SourceFolderPath.empty()) {
    ShowUserMessage(platform, run, u"Fatal Error, no source directory.", u"Error:", MB_OK);
    return;
  }
  if (run.CurrentProduct == kNoProduct) {
    Tell(platform, run, LogEvent::NotRedirected);
    return;
  }
  // One key for the whole step: read, back up, check and write through it.
  const WidePath keyPath = ProductKeyPath(run.CurrentProduct);
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ_WRITE, key);
  if (opened == ERROR_SUCCESS) run.RegisteredProduct = run.CurrentProduct;
  if (opened == ERROR_FILE_NOT_FOUND) LogNotRegisteredPerMachine(platform, run, run.CurrentProduct);
  if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) {
    Tell(platform, run, LogEvent::BackupKeyNotOpened, {keyPath.c_str(), StatusText{opened}});
  }
  const FoundRegistration found =
      opened == ERROR_SUCCESS ? ReadRegistration(platform, run, key.get()) : FoundRegistration{};
  if (!found.usable) {
    Tell(platform, run, LogEvent::NotRedirected);
    return;
  }
  // A value given after a run that recorded its redirection has no copy.
  const WideChar* const recorded = found.journalLeft ? RecordedRedirection(found.journal) : nullptr;
  if (recorded != nullptr && !found.transformsAbsent &&
      !TextEquals(found.transforms.units.c_str(), recorded)) {
    Tell(platform, run, LogEvent::RedirectionGivenSince);
    return;
  }
  const int language =
      LanguageOfTransforms(platform, run, found.transforms.units.c_str(),
                           found.transforms.byteCount > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  const WideChar* const transform =
      language == kNoLanguage ? kDefaultTransform : LanguageTable[language].transformFile;
  WidePath redirected = FilesFolderPath(run);
  if (redirected.empty() || !redirected.append(transform)) {
    Tell(platform, run, LogEvent::RedirectionTooLong, {redirected.writable_size() - 1});
    return;
  }
  // The journal records one redirection: another would be left behind
  // unproven, should this run end early too. The restore finishes it.
  if (recorded != nullptr && !TextEquals(recorded, redirected.c_str())) {
    Tell(platform, run, LogEvent::OtherFoldersRedirection, {InQuotes(recorded)});
    return;
  }
  const TransformsJournal journal =
      BackupTransforms(platform, run, key.get(), found, redirected.c_str());
  if (!journal.held) {
    Tell(platform, run, LogEvent::NotRedirected);
    return;
  }
  Redirection& redirection = run.CurrentRedirection;
  redirection.product = run.CurrentProduct;
  redirection.backupWrittenNow = journal.writtenNow;
  redirection.registrationInPlay = true;
  if (journal.writtenNow && !StillOwnValue(platform, key.get(), found)) {
    Tell(platform, run, LogEvent::OwnValueChanged);
    return;
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
  TellOutcome(platform, run, written, LogEvent::Redirected, {InQuotes(redirected.c_str())});
  // Kept all the same: the product's own value names no file of the patch
  // folder either, and the restore puts it back whatever happens.
  if (!FileExists(platform, redirected.c_str())) {
    run.Warnings |= kWarnTransformMissing;
    Tell(platform, run, LogEvent::TransformMissing, {transform});
  }
}

RestoreOutcome RestoreTransforms(Platform& platform, RunState& run) {
  run.CurrentProduct = ProductToRestore(platform, run);
  // A journal found counts too, whoever left it.
  RestoreOutcome outcome{ERROR_SUCCESS, run.CurrentRedirection.registrationInPlay};
  if (run.CurrentProduct == kNoProduct) return outcome;
  const WidePath keyPath = ProductKeyPath(run.CurrentProduct);
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ_WRITE, key);
  if (opened != ERROR_SUCCESS) return RestoreRefused(platform, run, keyPath, opened);

  StoredString journal;
  const Status journalRead = ReadStoredString(platform, key.get(), kTransformsBackupValue, journal);
  Status restored = ERROR_SUCCESS;
  if (journalRead == ERROR_SUCCESS) {
    outcome.counts = true;
    restored = FinishJournal(platform, run, key.get(), journal);
  } else if (journalRead == ERROR_INVALID_DATATYPE) {
    Tell(platform, run, LogEvent::RestoreForeignJournal, {journal.type});
  } else if (journalRead != ERROR_FILE_NOT_FOUND) {
    Tell(platform, run, LogEvent::RestoreJournalUnread, {StatusText{journalRead}});
    restored = journalRead;
  } else {
    restored = RestoreWithoutJournal(platform, run, key.get());
  }
  const Status closed = key.reset();
  outcome.status = restored != ERROR_SUCCESS ? restored : closed;
  return outcome;
}

}  // namespace setup
