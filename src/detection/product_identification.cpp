#include "detection/product_identification.h"

#include <string_view>

#include "discovery/file_discovery.h"
#include "discovery/language_pack_package.h"
#include "platform/registry.h"
#include "shared/log_events.h"

namespace setup {

std::uint32_t LogNotRegisteredPerMachine(const RunState& run, int row) {
  Tell<LogEvent::NotPerMachine>(run, ProductTable[row].keyword, row, ProductKeyPath(row).c_str());
  return kWarnNotPerMachine;
}

namespace {

struct Target {
  int row = kNoProduct;
  WidePath keyPath;
  // The first whose keyword is in the name but not registered (installed per user, or not at all).
  int namedButUnregistered = kNoProduct;
};

Target FindTarget(Platform& platform, const WideChar* patchFileName, bool languagePack) {
  const std::u16string_view name(patchFileName);
  Target target;
  for (int row = languagePack ? kFirstKeywordOnlyRow : 0; row < ProductTableCount; ++row) {
    if (name.find(ProductTable[row].keyword) == std::u16string_view::npos) continue;
    target.keyPath = ProductKeyPath(row);
    ScopedRegKey key(platform);
    if (row >= kFirstKeywordOnlyRow ||
        OpenClassesRootKey(platform, target.keyPath.c_str(), KEY_READ, key) == ERROR_SUCCESS) {
      target.row = row;
      return target;
    }
    if (target.namedButUnregistered == kNoProduct) target.namedButUnregistered = row;
  }
  return target;
}

}  // namespace

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
    identified.keyPath = target.keyPath;
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

// Order matters: the first row that qualifies wins.
const ProductEntry ProductTable[ProductTableCount] = {
    {u"382F6AFF466673E4C9EE82C5C18519A1", u"Tessel", u"{}"},
    {u"C428D535F8388D649881B4C01D2448AA", u"Wrenfield", u"{}"},
    {u"8C0FD386649E9D942AA845BBA3A1420B", u"Hostrel", u"{}"},
    {u"01BA1CD1DB921174CA757927C79DD590", u"Ostra", u"{}"},
    {u"C31C5E48B5359B54A94F13A98BE5C40E", u"Loomwork", u"{}"},
    {u"E9F771EAEB8D25642BA165150C621274", u"Tessel", u"{AE177F9E-D8BE-4652-B21A-5651C0262147}"},
    {u"CFEC5A5C742AD604485FA193EF4D3624", u"Brisant", u"{C5A5CEFC-A247-406D-84F5-1A39FED46342}"},
    {u"EAADFC3A3A6E6484DA423B5CBD6BF02C", u"Loomwork", u"{A3CFDAAE-E6A3-4846-AD24-B3C5DBB60FC2}"},
    {u"E359D2F96F56DF147AD77D973394339F", u"Hostrel", u"{9F2D953E-65F6-41FD-A77D-D779334933F9}"},
};

WidePath ProductKeyPath(int row) {
  WidePath path;
  // 51 characters always fit.
  static_cast<void>(path.assign(u"Installer\\Products\\") &&
                    path.append(ProductTable[row].packedCode));
  return path;
}

}  // namespace setup
