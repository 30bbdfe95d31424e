#include "transforms/transforms_backup.h"

#include <utility>

#include "detection/product_table.h"
#include "platform/registry.h"
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
  if (OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ, key) != ERROR_SUCCESS) {
    return result;
  }

  HeapText journal;
  const Status journalRead =
      ReadRegistryString(platform, key.get(), kTransformsBackupValue, journal);
  if (journalRead == ERROR_SUCCESS) {
    result.held = true;  // left by a run that did not finish; Transforms may be ours
    return result;
  }
  if (!JournalAbsent(platform, key.get(), journalRead)) return result;

  HeapText ownValue;
  std::uint32_t ownType = REG_SZ;
  const Status read = ReadRegistryString(platform, key.get(), kTransformsValue, ownValue, &ownType);
  if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND) return result;
  // The backup takes the value's type too, so an expandable value comes
  // back expandable.
  if (WriteClassesRootString(platform, keyPath.c_str(), kTransformsBackupValue, ownValue.c_str(),
                             ownType) != ERROR_SUCCESS) {
    return result;
  }
  result.held = true;
  result.writtenNow = true;
  result.ownValue = std::move(ownValue);
  return result;
}

}  // namespace setup
