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
  ScanProductTable(platform, run, FindPatchPackageName(platform, run).c_str());
}

void ScanProductTable(Platform& platform, RunState& run, const WideChar* patchFileName) {
  const std::u16string_view name(patchFileName);
  const int startRow = IsLanguagePackPackage(platform, run) ? kFirstKeywordOnlyRow : 0;
  for (int row = startRow; row < ProductTableCount; ++row) {
    run.CurrentProduct = row;
    if (name.find(ProductTable[row].keyword) == std::u16string_view::npos) continue;
    if (row >= kFirstKeywordOnlyRow || IsRegistered(platform, row)) return;
  }
  run.CurrentProduct = kNoProduct;
}

}  // namespace setup
