#include "transforms/transforms_backup.h"

#include <utility>

#include "detection/product_identification.h"
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
  if (firstRead != ERROR_FILE_NOT_FOUND) return false;
  StoredString journal;
  return ReadStoredString(platform, key, kTransformsBackupValue, journal) == ERROR_FILE_NOT_FOUND;
}

// What the journal records for a product without Transforms.
bool MakeEmptyValue(StoredString& value) {
  if (value.units.make_room(1) == nullptr) return false;
  value.units.set_length(1);
  value.byteCount = sizeof(WideChar);
  value.type = REG_SZ;
  return true;
}

}  // namespace

TransformsJournal BackupTransforms(Platform& platform, const RunState& run) {
  TransformsJournal result;
  if (run.CurrentProduct == kNoProduct) return result;
  const WidePath keyPath = ProductKeyPath(run.CurrentProduct);
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ, key);
  if (opened == ERROR_FILE_NOT_FOUND) {
    LogNotRegisteredPerMachine(platform, run, run.CurrentProduct);
    return result;
  }
  if (opened != ERROR_SUCCESS) {
    WriteLog(platform, run,
             LogLine() << "Backup: the registration " << keyPath.c_str() << " could not be opened ("
                       << StatusText{opened} << "); nothing is redirected");
    return result;
  }

  StoredString journal;
  const Status journalRead = ReadStoredString(platform, key.get(), kTransformsBackupValue, journal);
  if (journalRead == ERROR_SUCCESS) {
    result.held = true;  // left by a run that did not finish; Transforms may be ours
    WriteLog(platform, run,
             (LogLine() << "Backup: TransformsBackup left by a run that did not finish is kept: ")
                 .Quoted(journal.units.c_str(), journal.ShownLength()));
    return result;
  }
  if (journalRead == ERROR_INVALID_DATATYPE) {
    WriteLog(platform, run,
             LogLine() << "Backup: TransformsBackup is of type " << journal.type
                       << ", no journal of the launcher's; it and Transforms are left alone, "
                          "nothing is redirected");
    return result;
  }
  if (!JournalAbsent(platform, key.get(), journalRead)) {
    WriteLog(platform, run,
             LogLine() << "Backup: TransformsBackup could not be read (" << StatusText{journalRead}
                       << "); nothing is redirected");
    return result;
  }

  StoredString ownValue;
  const Status read = ReadStoredString(platform, key.get(), kTransformsValue, ownValue);
  if ((read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND) ||
      (read == ERROR_FILE_NOT_FOUND && !MakeEmptyValue(ownValue))) {
    WriteLog(platform, run,
             LogLine() << "Backup: Transforms could not be read (" << StatusText{read}
                       << "); nothing is redirected");
    return result;
  }
  // Byte for byte with its type, so that an expandable value comes back
  // expandable and one holding a zero comes back whole.
  const Status written =
      WriteClassesRootStored(platform, keyPath.c_str(), kTransformsBackupValue, ownValue);
  LogLine line;
  line << "Backup: Transforms " << (read == ERROR_SUCCESS ? "" : "(absent) ");
  line.Quoted(ownValue.units.c_str(), ownValue.ShownLength())
      << " type " << ownValue.type << ", " << ownValue.byteCount << " bytes";
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
