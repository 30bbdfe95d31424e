#include "transforms/transforms_backup.h"

#include <utility>

#include "detection/product_table.h"
#include "platform/registry.h"
#include "shared/status_meanings.h"
#include "transforms/registry_writer.h"
#include "transforms/transforms_values.h"

namespace setup {

namespace {

// Whether the journal is absent. A journal reported missing is asked for
// once more: overwriting it would lose the only copy of the product's own
// value for good.
bool JournalAbsent(Platform& platform, RegKey key, Status firstRead) {
  if (firstRead == ERROR_INVALID_DATATYPE) return true;  // not a journal of ours
  if (firstRead != ERROR_FILE_NOT_FOUND) return false;
  HeapText journal;
  return ReadRegistryString(platform, key, kTransformsBackupValue, journal) == ERROR_FILE_NOT_FOUND;
}

}  // namespace

TransformsJournal BackupTransforms(Platform& platform, const RunState& run) {
  TransformsJournal result;
  if (run.CurrentProduct == kNoProduct) return result;
  const WidePath keyPath = ProductKeyPath(run.CurrentProduct);
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ, key);
  if (opened != ERROR_SUCCESS) {
    WriteLog(platform, run,
             LogLine() << "Backup: the registration " << keyPath.c_str() << " could not be opened ("
                       << StatusText{opened} << "); nothing is redirected");
    return result;
  }

  HeapText journal;
  const Status journalRead =
      ReadRegistryString(platform, key.get(), kTransformsBackupValue, journal);
  if (journalRead == ERROR_SUCCESS) {
    result.held = true;  // left by a run that did not finish; Transforms may be ours
    WriteLog(platform, run,
             (LogLine() << "Backup: TransformsBackup left by a run that did not finish is kept: ")
                 .Quoted(journal.c_str()));
    return result;
  }
  if (!JournalAbsent(platform, key.get(), journalRead)) {
    WriteLog(platform, run,
             LogLine() << "Backup: TransformsBackup could not be read (" << StatusText{journalRead}
                       << "); nothing is redirected");
    return result;
  }

  HeapText ownValue;
  std::uint32_t ownType = REG_SZ;
  const Status read = ReadRegistryString(platform, key.get(), kTransformsValue, ownValue, &ownType);
  if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND) {
    WriteLog(platform, run,
             LogLine() << "Backup: Transforms could not be read (" << StatusText{read}
                       << "); nothing is redirected");
    return result;
  }
  // The backup takes the value's type too, so an expandable value comes
  // back expandable.
  const Status written = WriteClassesRootString(platform, keyPath.c_str(), kTransformsBackupValue,
                                                ownValue.c_str(), ownType);
  LogLine line;
  line << "Backup: Transforms " << (read == ERROR_SUCCESS ? "" : "(absent) ");
  line.Quoted(ownValue.c_str()) << " type " << ownType;
  if (written != ERROR_SUCCESS) {
    line << ": TransformsBackup could not be written (" << StatusText{written}
         << "); nothing is redirected";
  } else {
    line << " copied to TransformsBackup";
  }
  WriteLog(platform, run, line);
  if (written != ERROR_SUCCESS) return result;
  result.held = true;
  result.writtenNow = true;
  result.ownValue = std::move(ownValue);
  return result;
}

}  // namespace setup
