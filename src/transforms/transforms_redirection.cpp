#include "transforms/transforms_redirection.h"

#include "detection/language_resolution.h"
#include "detection/language_table.h"
#include "detection/product_identification.h"
#include "detection/product_table.h"
#include "discovery/file_discovery.h"
#include "platform/ascii_case.h"
#include "platform/registry.h"
#include "shared/files_folder.h"
#include "shared/status_meanings.h"
#include "shared/user_messages.h"
#include "transforms/registry_writer.h"
#include "transforms/transforms_backup.h"
#include "transforms/transforms_values.h"

namespace setup {

namespace {

// Whether `value` is a path the redirection writes for the default
// transform: a product's own value may name "1033.mst" too, but not as
// the file of a patch folder's Files subfolder.
bool IsDefaultRedirection(const HeapText& value) {
  WidePath suffix;
  return suffix.assign(FilesFolderName.afterSourceFolderPath) && suffix.append(kDefaultTransform) &&
         EndsWithIgnoringAsciiCase(value.c_str(), suffix.c_str());
}

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
bool StillOwnValue(Platform& platform, const RunState& run, const StoredString& ownValue) {
  StoredString current;
  const Status read = ReadRegistrationValue(platform, ProductKeyPath(run.CurrentProduct).c_str(),
                                            kTransformsValue, current);
  if (read == ERROR_FILE_NOT_FOUND) return ownValue.IsEmpty();
  return read == ERROR_SUCCESS && SameStoredString(current, ownValue);
}

// Whether this run backed up the product's value and then left it alone,
// so that Transforms still holds the product's own value.
bool OwnValueLeftInPlace(const RunState& run) {
  const Redirection& redirection = run.CurrentRedirection;
  return redirection.product == run.CurrentProduct && redirection.backupWrittenNow &&
         !redirection.transformsWritten;
}

// Puts the backup back and deletes it; `backup` is what it holds, byte for
// byte with its type.
Status WriteBack(Platform& platform, const RunState& run, RegKey key, const WidePath& keyPath,
                 const StoredString& backup) {
  if (!OwnValueLeftInPlace(run)) {
    const Status restored = backup.IsEmpty() ? DeleteValue(platform, key, kTransformsValue)
                                             : WriteClassesRootStored(platform, keyPath.c_str(),
                                                                      kTransformsValue, backup);
    LogLine line;
    line << "Restore: "
         << (backup.IsEmpty() ? "Transforms deleted (the product had none)"
                              : "Transforms written back: ");
    if (!backup.IsEmpty()) {
      line.Quoted(backup.units.c_str(), backup.ShownLength())
          << " type " << backup.type << ", " << backup.byteCount << " bytes";
    }
    if (restored != ERROR_SUCCESS) line << ", failed: " << StatusText{restored};
    WriteLog(platform, run, line);
    if (restored != ERROR_SUCCESS) return restored;  // the backup stays for the next run
  } else {
    WriteLog(platform, run, LogLine() << "Restore: Transforms was left alone, nothing to write");
  }
  // A backup left behind would later overwrite whatever the product's own
  // value has become by then, so its delete must succeed; having just been
  // read, even "not found" means something went wrong.
  const Status deleted = platform.RegDeleteValueW(key, kTransformsBackupValue);
  LogLine line;
  line << "Restore: TransformsBackup deleted";
  if (deleted != ERROR_SUCCESS) line << ", failed: " << StatusText{deleted};
  WriteLog(platform, run, line);
  return deleted;
}

}  // namespace

void RedirectTransforms(Platform& platform, RunState& run) {
  run.CurrentRedirection = Redirection{};
  IdentifyProduct(platform, run);
  // The installer splits Transforms at ';', so a folder holding one would
  // name two transforms, neither of them ours. A short path holds none, but
  // a volume without 8.3 names gives the long one. Decided before the
  // backup, so that nothing at all is written.
  if (run.SourceFolderPath.contains(u';')) {
    WriteLog(platform, run,
             LogLine() << "Redirection: none, the patch folder's path holds ';', which would "
                          "split Transforms in two; the product's own value stays");
    return;
  }
  const TransformsJournal journal = BackupTransforms(platform, run);
  if (journal.held) {
    run.CurrentRedirection.product = run.CurrentProduct;
    run.CurrentRedirection.backupWrittenNow = journal.writtenNow;
    run.CurrentRedirection.registrationInPlay = true;
  }

  const WidePath& sourceFolder = run.SourceFolderPath;
  if (sourceFolder.empty()) {
    ShowUserMessage(platform, run, u"Fatal Error, no source directory.", u"Error:", MB_OK);
    return;
  }
  // Without the product's own value in the backup there would be nothing
  // to restore.
  if (!journal.held) {
    WriteLog(platform, run, LogLine() << "Redirection: none, no backup is held");
    return;
  }

  const int language = ResolveLanguageIndex(platform, run);
  const WideChar* const transform =
      language == kNoLanguage ? kDefaultTransform : LanguageTable[language].transformFile;
  WidePath redirected = sourceFolder;
  if (!redirected.append(FilesFolderName.afterSourceFolderPath) || !redirected.append(transform)) {
    WriteLog(platform, run,
             LogLine() << "Redirection: none, the transform's path would be longer than "
                       << static_cast<std::uint32_t>(redirected.capacity() - 1) << " units");
    return;
  }
  if (journal.writtenNow && !StillOwnValue(platform, run, journal.ownValue)) {
    WriteLog(platform, run,
             LogLine() << "Redirection: none, Transforms no longer reads as the value backed up");
    return;
  }
  // Even a write reported failed may have landed (a close that failed):
  // the restore must put the own value back in any case.
  run.CurrentRedirection.transformsWritten = true;
  const Status written = WriteClassesRootString(
      platform, ProductKeyPath(run.CurrentProduct).c_str(), kTransformsValue, redirected.c_str());
  LogLine line;
  line << "Redirection: Transforms set to ";
  line.Quoted(redirected.c_str());
  if (written != ERROR_SUCCESS) line << ", failed: " << StatusText{written};
  WriteLog(platform, run, line);
  // Pointed at all the same: the product's own value names no file of the
  // patch folder either, and the restore puts it back whatever happens.
  if (!FileExists(platform, redirected.c_str())) {
    WriteLog(platform, run,
             LogLine() << "Pre-flight: Files\\" << transform
                       << " is missing; the installer will likely fail to apply it (1624)");
  }
}

Status RestoreTransforms(Platform& platform, RunState& run) {
  // A repeated identification could answer otherwise once a call has
  // failed; the backup this run relies on names the product for certain.
  const int identified = run.CurrentProduct;
  const bool fromBackup = run.CurrentRedirection.product != kNoProduct;
  if (fromBackup) {
    run.CurrentProduct = run.CurrentRedirection.product;
  } else {
    // Asked again for a journal an earlier run may have left; the lines
    // were logged before the installer ran.
    const MutedRunLog muted(run.Log);
    IdentifyProduct(platform, run);
  }
  LogLine chosen;
  chosen << "Restore: the product "
         << (fromBackup                         ? "whose backup this run holds"
             : run.CurrentProduct == identified ? "identified again"
                                                : "identified again, differently");
  if (run.CurrentProduct == kNoProduct) {
    WriteLog(platform, run, chosen << ": none, nothing to put back");
    return ERROR_SUCCESS;
  }
  WriteLog(platform, run, chosen << ": row " << run.CurrentProduct);
  const WidePath keyPath = ProductKeyPath(run.CurrentProduct);
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ_WRITE, key);
  if (opened != ERROR_SUCCESS) {
    // An earlier run's journal it holds is left unfinished, which counts
    // whether or not this run took a backup.
    StoredString journal;
    if (ReadRegistrationValue(platform, keyPath.c_str(), kTransformsBackupValue, journal) ==
        ERROR_SUCCESS) {
      run.CurrentRedirection.registrationInPlay = true;
    }
    WriteLog(platform, run,
             LogLine() << "Restore: the registration " << keyPath.c_str()
                       << " could not be opened for changing: " << StatusText{opened});
    return opened;
  }

  StoredString backup;
  const Status backupRead = ReadStoredString(platform, key.get(), kTransformsBackupValue, backup);
  if (backupRead == ERROR_SUCCESS) {
    // A journal to finish: what the restore does now counts, whoever left it.
    run.CurrentRedirection.registrationInPlay = true;
    const Status restored = WriteBack(platform, run, key.get(), keyPath, backup);
    if (restored != ERROR_SUCCESS) return restored;
  } else if (backupRead == ERROR_INVALID_DATATYPE) {
    WriteLog(platform, run,
             LogLine() << "Restore: TransformsBackup is of type " << backup.type
                       << ", no journal of the launcher's; it and Transforms are left alone");
  } else if (backupRead != ERROR_FILE_NOT_FOUND) {
    WriteLog(platform, run,
             LogLine() << "Restore: TransformsBackup could not be read (" << StatusText{backupRead}
                       << "); it stays for the next run");
    return backupRead;  // the backup stays for the next run; one of another type is not ours
  } else {
    // Without a backup the own value cannot be put back; a redirection of
    // this run or of an older one that lost its backup is removed.
    HeapText current;
    const bool leftBehind =
        ReadRegistryString(platform, key.get(), kTransformsValue, current) == ERROR_SUCCESS &&
        IsDefaultRedirection(current);
    if (leftBehind) {
      const Status deleted = DeleteValue(platform, key.get(), kTransformsValue);
      WriteLog(platform, run,
               (LogLine() << "Restore: no TransformsBackup; a redirection left behind is deleted: ")
                       .Quoted(current.c_str())
                   << " " << StatusText{deleted});
    }
    if (run.CurrentRedirection.product != run.CurrentProduct) {
      if (!leftBehind) {
        WriteLog(platform, run, LogLine() << "Restore: no TransformsBackup, nothing to put back");
      }
    } else if (!OwnValueLeftInPlace(run)) {
      WriteLog(platform, run,
               LogLine() << "Restore: the TransformsBackup this run wrote has gone; the product's "
                            "own Transforms cannot be put back");
      static_cast<void>(key.reset());
      return ERROR_FILE_NOT_FOUND;  // the backup this run relied on has gone
    }
  }
  return key.reset();
}

}  // namespace setup
