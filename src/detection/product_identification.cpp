#include "detection/product_identification.h"

#include <string_view>

#include "detection/product_table.h"
#include "discovery/file_discovery.h"
#include "discovery/language_pack_package.h"
#include "platform/registry.h"

namespace setup {

namespace {

bool IsRegistered(Platform& platform, int row) {
  ScopedRegKey key(platform);
  return OpenClassesRootKey(platform, ProductKeyPath(row).c_str(), KEY_READ, key) == ERROR_SUCCESS;
}

}  // namespace

void LogNotRegisteredPerMachine(Platform& platform, RunState& run, int row) {
  run.Warnings |= kWarnNotPerMachine;
  WriteLog(platform, run,
           LogLine() << "Pre-flight: " << ProductTable[row].keyword << " (row " << row
                     << ") is not registered per machine (no HKEY_CLASSES_ROOT\\"
                     << ProductKeyPath(row).c_str()
                     << "): installed per user or not at all; nothing is redirected");
}

Target FindTarget(Platform& platform, const WideChar* patchFileName, bool languagePack) {
  const std::u16string_view name(patchFileName);
  Target target;
  for (int row = languagePack ? kFirstKeywordOnlyRow : 0; row < ProductTableCount; ++row) {
    if (name.find(ProductTable[row].keyword) == std::u16string_view::npos) continue;
    if (row >= kFirstKeywordOnlyRow || IsRegistered(platform, row)) {
      target.row = row;
      return target;
    }
    if (target.namedButUnregistered == kNoProduct) target.namedButUnregistered = row;
  }
  return target;
}

void IdentifyProduct(Platform& platform, RunState& run) {
  const WidePath& name = PatchPackageName(platform, run);
  if (!run.LanguagePackRead) {
    run.LanguagePack = IsLanguagePackPackage(platform, run);
    run.LanguagePackRead = true;
  }
  const bool languagePack = run.LanguagePack;
  const Target target = FindTarget(platform, name.c_str(), languagePack);
  run.CurrentProduct = target.row;
  if (target.row != kNoProduct) {
    const ProductEntry& product = ProductTable[target.row];
    WriteLog(platform, run,
             LogLine() << "Product: row " << target.row << " (" << product.keyword << ", "
                       << product.packedCode << "), its keyword "
                       << (target.row < kFirstKeywordOnlyRow
                               ? "is in the patch name and it is registered"
                           : languagePack ? "is in the patch name and the patch folder's database "
                                            "is a language-pack installer"
                                          : "alone is in the patch name"));
    return;
  }
  WriteLog(platform, run,
           LogLine() << "Product: no row of the product table qualifies"
                     << (languagePack ? " (language-pack rows only)" : ""));
  if (target.namedButUnregistered != kNoProduct) {
    LogNotRegisteredPerMachine(platform, run, target.namedButUnregistered);
  } else if (!name.empty()) {
    run.Warnings |= kWarnNoKeyword;
    WriteLog(platform, run,
             LogLine() << "Pre-flight: no product keyword in the patch's name; nothing is "
                          "redirected");
  }
}

}  // namespace setup
