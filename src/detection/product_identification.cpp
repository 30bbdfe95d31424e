#include "detection/product_identification.h"

#include <string_view>

#include "detection/product_table.h"
#include "discovery/file_discovery.h"
#include "discovery/language_pack_package.h"
#include "platform/registry.h"
#include "shared/log_events.h"

namespace setup {

std::uint32_t LogNotRegisteredPerMachine(const RunState& run, int row) {
  Tell<LogEvent::NotPerMachine>(run, ProductTable[row].keyword, row, ProductKeyPath(row).c_str());
  return kWarnNotPerMachine;
}

Target FindTarget(Platform& platform, const WideChar* patchFileName, bool languagePack) {
  const std::u16string_view name(patchFileName);
  Target target;
  for (int row = languagePack ? kFirstKeywordOnlyRow : 0; row < ProductTableCount; ++row) {
    if (name.find(ProductTable[row].keyword) == std::u16string_view::npos) continue;
    ScopedRegKey key(platform);
    if (row >= kFirstKeywordOnlyRow ||
        OpenClassesRootKey(platform, ProductKeyPath(row).c_str(), KEY_READ, key) == ERROR_SUCCESS) {
      target.row = row;
      return target;
    }
    if (target.namedButUnregistered == kNoProduct) target.namedButUnregistered = row;
  }
  return target;
}

Identification IdentifyProduct(Platform& platform, const RunState& run, const PatchFolder& folder,
                               const WidePath& patchName) {
  const bool languagePack = IsLanguagePackPackage(platform, run, folder);
  const Target target = FindTarget(platform, patchName.c_str(), languagePack);
  Identification identified;
  if (target.row != kNoProduct) {
    const ProductEntry& product = ProductTable[target.row];
    Tell<LogEvent::Product>(
        run, target.row, product.keyword, product.packedCode,
        target.row < kFirstKeywordOnlyRow ? "its keyword is in the patch name and it is registered"
        : languagePack ? "its keyword is in the patch name and the patch folder's database is a "
                         "language-pack installer"
                       : "its keyword alone is in the patch name");
    identified.row = target.row;
    identified.keyPath = ProductKeyPath(target.row);
    return identified;
  }
  Tell<LogEvent::NoProduct>(run, languagePack ? " (language-pack rows only)" : "");
  if (target.namedButUnregistered != kNoProduct) {
    identified.warnings = LogNotRegisteredPerMachine(run, target.namedButUnregistered);
  } else if (!patchName.empty()) {
    identified.warnings = kWarnNoKeyword;
    Tell<LogEvent::NoKeyword>(run);
  }
  return identified;
}

}  // namespace setup
