#include "detection/product_identification.h"

#include <string_view>

#include "detection/product_table.h"
#include "discovery/file_discovery.h"
#include "discovery/language_pack_package.h"
#include "platform/registry.h"
#include "shared/log_events.h"

namespace setup {

void LogNotRegisteredPerMachine(RunState& run, int row) {
  run.Warnings |= kWarnNotPerMachine;
  Tell(run, LogEvent::NotPerMachine, {ProductTable[row].keyword, row, ProductKeyPath(row).c_str()});
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

void IdentifyProduct(Platform& platform, RunState& run) {
  const WidePath& name = PatchPackageName(platform, run);
  if (!run.LanguagePack) run.LanguagePack = IsLanguagePackPackage(platform, run);
  const bool languagePack = *run.LanguagePack;
  const Target target = FindTarget(platform, name.c_str(), languagePack);
  run.CurrentProduct = target.row;
  if (target.row != kNoProduct) {
    const ProductEntry& product = ProductTable[target.row];
    Tell(run,
         target.row < kFirstKeywordOnlyRow ? LogEvent::ProductRegistered
         : languagePack                    ? LogEvent::ProductOfLanguagePack
                                           : LogEvent::ProductByKeyword,
         {target.row, product.keyword, product.packedCode});
    return;
  }
  Tell(run, languagePack ? LogEvent::NoLanguagePackProduct : LogEvent::NoProduct);
  if (target.namedButUnregistered != kNoProduct) {
    LogNotRegisteredPerMachine(run, target.namedButUnregistered);
  } else if (!name.empty()) {
    run.Warnings |= kWarnNoKeyword;
    Tell(run, LogEvent::NoKeyword);
  }
}

}  // namespace setup
