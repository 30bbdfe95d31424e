#include "transforms/transforms_backup.h"

#include <string>

#include "detection/product_table.h"
#include "platform/registry.h"
#include "transforms/registry_writer.h"
#include "transforms/transforms_values.h"

namespace setup {

bool BackupTransforms(Platform& platform) {
  if (CurrentProduct == kNoProduct) return false;
  const NarrowPath keyPath = ProductKeyPath(CurrentProduct);
  ScopedRegKey key(platform);
  if (OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ, key) != ERROR_SUCCESS) {
    return false;
  }

  std::string journal;
  if (ReadRegistryString(platform, key.get(), kTransformsBackupValue, journal) == ERROR_SUCCESS) {
    return true;  // left by a run that did not finish; Transforms may be ours
  }
  std::string ownValue;
  const Status read = ReadRegistryString(platform, key.get(), kTransformsValue, ownValue);
  if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND) return false;
  return WriteClassesRootString(platform, keyPath.c_str(), kTransformsBackupValue,
                                ownValue.c_str()) == ERROR_SUCCESS;
}

}  // namespace setup
