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

void IdentifyProduct(Platform& platform, RunState& run) {
  const WidePath patchName = FindPatchPackageName(platform, run);
  LogLine found;
  if (patchName.empty()) {
    found << "Patch package: none (*.msp) in " << FilesFolderPath(run).c_str();
  } else {
    found << "Patch package: " << patchName.c_str();
  }
  WriteLog(platform, run, found);
  ScanProductTable(platform, run, patchName.c_str());
}

void ScanProductTable(Platform& platform, RunState& run, const WideChar* patchFileName) {
  const std::u16string_view name(patchFileName);
  const bool languagePack = IsLanguagePackPackage(platform, run);
  const int startRow = languagePack ? kFirstKeywordOnlyRow : 0;
  for (int row = startRow; row < ProductTableCount; ++row) {
    run.CurrentProduct = row;
    if (name.find(ProductTable[row].keyword) == std::u16string_view::npos) continue;
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
}

}  // namespace setup
