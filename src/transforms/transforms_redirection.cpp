#include "transforms/transforms_redirection.h"

#include "detection/language_resolution.h"
#include "detection/language_table.h"
#include "detection/product_identification.h"
#include "detection/product_table.h"
#include "discovery/file_discovery.h"
#include "platform/bounded_text.h"
#include "platform/registry.h"
#include "shared/files_folder.h"
#include "shared/status_meanings.h"
#include "shared/user_messages.h"
#include "transforms/transforms_backup.h"
#include "transforms/transforms_values.h"

namespace setup {

namespace {

// Said where a value beside a journal that records a redirection is not it.
constexpr char kGivenSince[] =
    ": Transforms is not the redirection the journal recorded; the product was given it since, "
    "and it stays";

// An absent value is as good as a deleted one, once a read agrees that it
// is absent: a value left in place while the backup goes would be lost.
Status DeleteValue(Platform& platform, RegKey key, const WideChar* valueName) {
  const Status status = platform.RegDeleteValueW(key, valueName);
  if (status != ERROR_FILE_NOT_FOUND) return status;
  HeapText left;
  return ReadRegistryString(platform, key, valueName, left) == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS
                                                                                    : status;
}

// Reads a value of the registration at `keyPath` without asking to
// change it. A key that cannot be opened gives ERROR_PATH_NOT_FOUND,
// whatever the reason, so that 2 always means an absent value.
Status ReadRegistrationValue(Platform& platform, const WideChar* keyPath, const WideChar* valueName,
                             StoredString& value) {
  ScopedRegKey key(platform);
  return OpenClassesRootKey(platform, keyPath, KEY_READ, key) != ERROR_SUCCESS
             ? ERROR_PATH_NOT_FOUND
             : ReadStoredString(platform, key.get(), valueName, value);
}

// Whether Transforms still reads as the value the backup copied: a read
// that went wrong while the backup was taken must not lead to overwriting
// a value that has no copy.
bool StillOwnValue(Platform& platform, RegKey key, const FoundRegistration& found) {
  StoredString current;
  const Status read = ReadStoredString(platform, key, kTransformsValue, current);
  if (read == ERROR_FILE_NOT_FOUND) return found.transformsAbsent;
  return read == ERROR_SUCCESS && !found.transformsAbsent &&
         SameStoredString(current, found.transforms);
}

// Whether this run backed up the product's value and then left it alone,
// so that Transforms still holds the product's own value.
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

// Whether Transforms is the value this run wrote, unit for unit.
bool IsThisRunsRedirection(const RunState& run, const HeapText& current) {
  return RedirectedNow(run) && TextEquals(current.c_str(), run.CurrentRedirection.written.c_str());
}

// A journal recording that the product had no Transforms: the redirection
// it recorded is deleted, and so is whatever Transforms holds when this run
// wrote the journal (the installer may rewrite the value it was given); a
// value beside an earlier run's journal that is not its redirection was
// given to the product since, or written after that run, and nothing
// proves it the launcher's: it stays.
Status RemoveRecordedRedirection(Platform& platform, const RunState& run, RegKey key,
                                 const WideChar* recorded) {
  HeapText current;
  Status read = ReadRegistryString(platform, key, kTransformsValue, current);
  // Absence is asked twice: the journal goes with it, and a redirection
  // wrongly taken for absent would stay behind unproven.
  if (read == ERROR_FILE_NOT_FOUND)
    read = ReadRegistryString(platform, key, kTransformsValue, current);
  if (read == ERROR_FILE_NOT_FOUND) {
    WriteLog(platform, run, LogLine() << "Restore: no Transforms, as the product had none");
    return ERROR_SUCCESS;
  }
  // A value of another type is no redirection: the launcher writes text.
  const bool readable = read == ERROR_SUCCESS || read == ERROR_INVALID_DATATYPE;
  // This run's own journal says the product had none when the run began:
  // whatever came since came with the patch.
  const bool thisRuns = RedirectedNow(run) || run.CurrentRedirection.backupWrittenNow;
  const bool ours =
      thisRuns ? readable : read == ERROR_SUCCESS && TextEquals(current.c_str(), recorded);
  if (readable && !ours) {
    WriteLog(platform, run,
             (LogLine() << "Restore: Transforms ").Quoted(current.c_str()) << kGivenSince);
    return ERROR_SUCCESS;
  }
  const Status deleted = ours ? DeleteValue(platform, key, kTransformsValue) : read;
  LogLine line;
  line << "Restore: Transforms " << (ours ? "deleted" : "not read") << " (the product had none)";
  if (deleted != ERROR_SUCCESS) line << ", failed: " << StatusText{deleted};
  WriteLog(platform, run, line);
  return deleted;
}

// Puts the journal's own value back and deletes the journal, through the
// open key; `journal` is what it holds, byte for byte with its type. The
// journal stays for the next run when the value could not be put back.
Status FinishJournal(Platform& platform, const RunState& run, RegKey key,
                     const StoredString& journal) {
  Status restored = ERROR_SUCCESS;
  if (OwnValueLeftInPlace(run)) {
    WriteLog(platform, run, LogLine() << "Restore: Transforms was left alone");
  } else if (const WideChar* recorded = RecordedRedirection(journal)) {
    restored = RemoveRecordedRedirection(platform, run, key, recorded);
  } else {
    restored = journal.IsEmpty() ? DeleteValue(platform, key, kTransformsValue)
                                 : platform.RegSetValueExW(key, kTransformsValue, journal.type,
                                                           journal.bytes(), journal.byteCount);
    LogLine line;
    line << "Restore: "
         << (journal.IsEmpty() ? "Transforms deleted (the product had none)"
                               : "Transforms written back: ");
    if (!journal.IsEmpty()) {
      line.Quoted(journal.units.c_str(), journal.ShownLength())
          << " type " << journal.type << ", " << journal.byteCount << " bytes";
    }
    if (restored != ERROR_SUCCESS) line << ", failed: " << StatusText{restored};
    WriteLog(platform, run, line);
  }
  if (restored != ERROR_SUCCESS) return restored;
  // A journal left behind would later overwrite whatever the product's own
  // value has become by then, so its delete must succeed; having just been
  // read, even "not found" means something went wrong.
  const Status deleted = platform.RegDeleteValueW(key, kTransformsBackupValue);
  LogLine line;
  line << "Restore: TransformsBackup deleted";
  if (deleted != ERROR_SUCCESS) line << ", failed: " << StatusText{deleted};
  WriteLog(platform, run, line);
  return deleted;
}

// Without a journal the own value cannot be put back. Transforms is
// deleted only when it is the redirection this run wrote: a value nothing
// proves ours (the product's own, media laid out like a patch folder) stays.
Status RestoreWithoutJournal(Platform& platform, const RunState& run, RegKey key) {
  HeapText current;
  if (ReadRegistryString(platform, key, kTransformsValue, current) != ERROR_SUCCESS) {
    WriteLog(platform, run, LogLine() << "Restore: no TransformsBackup, nothing to put back");
  } else if (IsThisRunsRedirection(run, current)) {
    const Status deleted = DeleteValue(platform, key, kTransformsValue);
    WriteLog(platform, run,
             (LogLine() << "Restore: no TransformsBackup; the redirection this run wrote is "
                           "deleted: ")
                     .Quoted(current.c_str())
                 << " " << StatusText{deleted});
  } else {
    WriteLog(platform, run,
             (LogLine() << "Restore: no TransformsBackup; Transforms ").Quoted(current.c_str())
                 << " stays: nothing shows that a run of the launcher wrote it");
  }
  if (run.CurrentRedirection.product == run.CurrentProduct && !OwnValueLeftInPlace(run)) {
    WriteLog(platform, run,
             LogLine() << "Restore: the TransformsBackup this run wrote has gone; the own "
                          "Transforms cannot be put back");
    return ERROR_FILE_NOT_FOUND;  // the backup this run relied on has gone
  }
  return ERROR_SUCCESS;
}

// The product to restore, logged: the one whose backup this run holds, as
// that names it for certain; else identified again, quietly, for a
// journal an earlier run may have left (a product registered meanwhile may
// have one).
int ProductToRestore(Platform& platform, RunState& run) {
  const bool fromBackup = run.CurrentRedirection.product != kNoProduct;
  const int row =
      fromBackup
          ? run.CurrentRedirection.product
          : FindTarget(platform, PatchPackageName(platform, run).c_str(), run.LanguagePack).row;
  LogLine chosen;
  chosen << "Restore: the product "
         << (fromBackup                  ? "whose backup this run holds"
             : row == run.CurrentProduct ? "identified again"
                                         : "identified again, differently");
  if (row == kNoProduct) {
    chosen << ": none, nothing to put back";
  } else {
    chosen << ": row " << row;
  }
  WriteLog(platform, run, chosen);
  return row;
}

// A registration that cannot be opened for changing: a failure that counts
// when the run changed it or an earlier run's journal is left unfinished
// in it; nothing to put back otherwise.
RestoreOutcome RestoreRefused(Platform& platform, const RunState& run, const WidePath& keyPath,
                              Status opened) {
  StoredString journal;
  RestoreOutcome outcome{
      opened, run.CurrentRedirection.registrationInPlay ||
                  ReadRegistrationValue(platform, keyPath.c_str(), kTransformsBackupValue,
                                        journal) == ERROR_SUCCESS};
  if (!outcome.counts) {
    WriteLog(platform, run,
             LogLine() << "Restore: nothing to put back in " << keyPath.c_str()
                       << ": unchanged by this run, no TransformsBackup (opening it for "
                          "changing gave "
                       << StatusText{opened} << ")");
    outcome.status = ERROR_SUCCESS;
    return outcome;
  }
  WriteLog(platform, run,
           LogLine() << "Restore: the registration " << keyPath.c_str()
                     << " could not be opened for changing: " << StatusText{opened});
  return outcome;
}

}  // namespace

void RedirectTransforms(Platform& platform, RunState& run) {
  run.CurrentRedirection = Redirection{};
  IdentifyProduct(platform, run);
  const WidePath& sourceFolder = run.SourceFolderPath;
  if (sourceFolder.empty()) {
    ShowUserMessage(platform, run, u"Fatal Error, no source directory.", u"Error:", MB_OK);
    return;
  }
  if (run.CurrentProduct == kNoProduct) {
    WriteLog(platform, run, LogLine() << "Redirection: none, no backup is held");
    return;
  }
  // One key for the whole step: read, back up, check and write through it.
  const WidePath keyPath = ProductKeyPath(run.CurrentProduct);
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ_WRITE, key);
  if (opened == ERROR_FILE_NOT_FOUND) LogNotRegisteredPerMachine(platform, run, run.CurrentProduct);
  if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) {
    WriteLog(platform, run,
             LogLine() << "Backup: the registration " << keyPath.c_str()
                       << " could not be opened for changing (" << StatusText{opened} << ")");
  }
  const FoundRegistration found =
      opened == ERROR_SUCCESS ? ReadRegistration(platform, run, key.get()) : FoundRegistration{};
  if (!found.usable) {
    WriteLog(platform, run, LogLine() << "Redirection: none, no backup is held");
    return;
  }
  // A value the product was given after a run that recorded its own
  // redirection has no copy: it is not overwritten.
  const WideChar* const recorded = found.journalLeft ? RecordedRedirection(found.journal) : nullptr;
  if (recorded != nullptr && !found.transformsAbsent &&
      !TextEquals(found.transforms.units.c_str(), recorded)) {
    WriteLog(platform, run, LogLine() << "Redirection: none" << kGivenSince);
    return;
  }
  const int language =
      LanguageOfTransforms(platform, run, found.transforms.units.c_str(),
                           found.transforms.byteCount > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  const WideChar* const transform =
      language == kNoLanguage ? kDefaultTransform : LanguageTable[language].transformFile;
  WidePath redirected = sourceFolder;
  if (!redirected.append(FilesFolderName.afterSourceFolderPath) || !redirected.append(transform)) {
    WriteLog(platform, run,
             LogLine() << "Redirection: none, the transform's path would exceed "
                       << static_cast<std::uint32_t>(redirected.capacity() - 1) << " units");
    return;
  }
  // The journal records one redirection: another one would be left behind
  // unproven, should this run end early too. The restore finishes that
  // journal, so the next run redirects again.
  if (recorded != nullptr && !TextEquals(recorded, redirected.c_str())) {
    WriteLog(
        platform, run,
        (LogLine() << "Redirection: none, the journal records the redirection ").Quoted(recorded)
            << " of another patch folder; run again after this one");
    return;
  }
  // Without the product's own value in the backup there would be nothing
  // to restore.
  const TransformsJournal journal =
      BackupTransforms(platform, run, key.get(), found, redirected.c_str());
  if (!journal.held) {
    WriteLog(platform, run, LogLine() << "Redirection: none, no backup is held");
    return;
  }
  Redirection& redirection = run.CurrentRedirection;
  redirection.product = run.CurrentProduct;
  redirection.backupWrittenNow = journal.writtenNow;
  redirection.registrationInPlay = true;
  if (journal.writtenNow && !StillOwnValue(platform, key.get(), found)) {
    WriteLog(platform, run,
             LogLine() << "Redirection: none, Transforms no longer reads as the value backed up");
    return;
  }
  // Even a write reported failed may have landed (a close that failed):
  // the restore must put the own value back in any case.
  redirection.transformsWritten = true;
  redirection.written = redirected;
  const Status set = platform.RegSetValueExW(
      key.get(), kTransformsValue, REG_SZ,
      reinterpret_cast<const std::uint8_t*>(redirected.c_str()),
      static_cast<std::uint32_t>((redirected.length() + 1) * sizeof(WideChar)));
  const Status closed = key.reset();
  const Status written = set != ERROR_SUCCESS ? set : closed;
  LogLine line;
  line << "Redirection: Transforms set to ";
  line.Quoted(redirected.c_str());
  if (written != ERROR_SUCCESS) line << ", failed: " << StatusText{written};
  WriteLog(platform, run, line);
  // Pointed at all the same: the product's own value names no file of the
  // patch folder either, and the restore puts it back whatever happens.
  if (!FileExists(platform, redirected.c_str())) {
    run.Warnings |= kWarnTransformMissing;
    WriteLog(platform, run,
             LogLine() << "Pre-flight: Files\\" << transform
                       << " is missing; the installer will likely fail to apply it (1624)");
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
    WriteLog(
        platform, run,
        LogLine() << "Restore: TransformsBackup is of type " << journal.type << kForeignJournal);
  } else if (journalRead != ERROR_FILE_NOT_FOUND) {
    WriteLog(platform, run,
             LogLine() << "Restore: TransformsBackup could not be read (" << StatusText{journalRead}
                       << "); it stays for the next run");
    outcome.status = journalRead;
    return outcome;
  } else {
    restored = RestoreWithoutJournal(platform, run, key.get());
  }
  const Status closed = key.reset();
  outcome.status = restored != ERROR_SUCCESS ? restored : closed;
  return outcome;
}

}  // namespace setup
