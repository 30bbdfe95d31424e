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

void IdentifyProduct(Platform& platform, RunState& run) {
  ScanProductTable(platform, run, PatchPackageName(platform, run).c_str());
}

void ScanProductTable(Platform& platform, RunState& run, const WideChar* patchFileName) {
  const std::u16string_view name(patchFileName);
  const bool languagePack = IsLanguagePackPackage(platform, run);
  const int startRow = languagePack ? kFirstKeywordOnlyRow : 0;
  int namedButUnregistered = kNoProduct;
  for (int row = startRow; row < ProductTableCount; ++row) {
    run.CurrentProduct = row;
    if (name.find(ProductTable[row].keyword) == std::u16string_view::npos) continue;
    if (namedButUnregistered == kNoProduct) namedButUnregistered = row;
    const bool keywordOnly = row >= kFirstKeywordOnlyRow;
    if (keywordOnly || IsRegistered(platform, row)) {
      const ProductEntry& product = ProductTable[row];
      WriteLog(platform, run,
               LogLine() << "Product: row " << row << " (" << product.keyword << ", "
                         << product.packedCode << "), "
                         << (!keywordOnly ? "its keyword is in the patch name and it is registered"
                             : languagePack ? "its keyword is in the patch name and the patch "
                                              "folder's database is a language-pack installer"
                                            : "its keyword alone is in the patch name"));
      return;
    }
  }
  run.CurrentProduct = kNoProduct;
  WriteLog(platform, run,
           LogLine() << "Product: no row of the product table qualifies"
                     << (languagePack ? " (language-pack rows only)" : ""));
  if (namedButUnregistered != kNoProduct) {
    LogNotRegisteredPerMachine(platform, run, namedButUnregistered);
  } else if (!name.empty()) {
    run.Warnings |= kWarnNoKeyword;
    WriteLog(platform, run,
             LogLine() << "Pre-flight: no product keyword in the patch's name; nothing is "
                          "redirected");
  }
}

}  // namespace setup
