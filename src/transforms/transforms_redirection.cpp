#include "transforms/transforms_redirection.h"

#include <string>

#include "detection/language_resolution.h"
#include "detection/language_table.h"
#include "detection/product_identification.h"
#include "detection/product_table.h"
#include "discovery/file_discovery.h"
#include "launcher/source_folder.h"
#include "launcher/user_messages.h"
#include "platform/ascii_case.h"
#include "platform/registry.h"
#include "transforms/registry_writer.h"
#include "transforms/transforms_backup.h"
#include "transforms/transforms_values.h"

namespace setup {

namespace {

bool ContainsDefaultTransform(const std::string& value) {
  return LowerAscii(value).find(kDefaultTransform) != std::string::npos;
}

// An absent value is as good as a deleted one.
Status DeleteValue(Platform& platform, RegKey key, const char* valueName) {
  const Status status = platform.RegDeleteValueA(key, valueName);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace

void RedirectTransforms(Platform& platform) {
  IdentifyProduct(platform);
  const bool backedUp = BackupTransforms(platform);

  const NarrowPath sourceFolder = NarrowSourceFolder(platform);
  if (sourceFolder.empty()) {
    ShowUserMessage(platform, u"Fatal Error, no source directory.", u"Error:", MB_OK);
    return;
  }
  // Without the product's own value in the backup there would be nothing
  // to restore.
  if (!backedUp) return;

  const int language = ResolveLanguageIndex(platform);
  const char* const transform =
      language == kNoLanguage ? kDefaultTransform : LanguageTable[language].transformFile;
  NarrowPath redirected = sourceFolder;
  if (!redirected.append(FilesFolderName.narrow) || !redirected.append(transform)) return;
  // A failed write leaves the product's own value in place; nothing to undo.
  static_cast<void>(WriteClassesRootString(platform, ProductKeyPath(CurrentProduct).c_str(),
                                           kTransformsValue, redirected.c_str()));
}

Status RestoreTransforms(Platform& platform) {
  IdentifyProduct(platform);
  if (CurrentProduct == kNoProduct) return ERROR_SUCCESS;
  const NarrowPath keyPath = ProductKeyPath(CurrentProduct);
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, keyPath.c_str(), KEY_READ_WRITE, key);
  if (opened != ERROR_SUCCESS) return opened;

  std::string backup;
  if (ReadRegistryString(platform, key.get(), kTransformsBackupValue, backup) == ERROR_SUCCESS) {
    const Status restored =
        backup.empty()
            ? DeleteValue(platform, key.get(), kTransformsValue)
            : WriteClassesRootString(platform, keyPath.c_str(), kTransformsValue, backup.c_str());
    if (restored != ERROR_SUCCESS) return restored;  // the backup stays for the next run
    // Should this delete fail, the next run restores the same value again.
    static_cast<void>(platform.RegDeleteValueA(key.get(), kTransformsBackupValue));
  } else {
    std::string current;
    if (ReadRegistryString(platform, key.get(), kTransformsValue, current) == ERROR_SUCCESS &&
        ContainsDefaultTransform(current)) {
      static_cast<void>(DeleteValue(platform, key.get(), kTransformsValue));
    }
  }
  return key.reset();
}

}  // namespace setup
