// The products a patch can be for (the product table), and which one this run is for.
#ifndef SETUP_DETECTION_PRODUCT_IDENTIFICATION_H
#define SETUP_DETECTION_PRODUCT_IDENTIFICATION_H

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

// Rows 0 to 4 need the keyword and the product's registration; rows 5 to 8 the keyword alone.
struct ProductEntry {
  const WideChar* packedCode;  // the product code as Windows Installer registers it
  const WideChar* keyword;     // must occur in the patch file name, letter case included
  const WideChar* bracedCode;  // the product code in braces; "{}" where none is kept
};

constexpr int ProductTableCount = 9;
constexpr int kFirstKeywordOnlyRow = 5;
extern const ProductEntry ProductTable[ProductTableCount];

// "Installer\Products\" and the row's packed code, a key under HKEY_CLASSES_ROOT.
WidePath ProductKeyPath(int row);

// What the scan of the product table found.
struct Target {
  int row = kNoProduct;  // the first qualifying row
  // The first row whose keyword is in the name though its registration is missing (installed per
  // user, or not at all); -1 for none.
  int namedButUnregistered = kNoProduct;
};

// The first qualifying row from row 5 on when `languagePack`, else from row 0 on. A row qualifies
// when its keyword occurs in `patchFileName` and, for rows 0 to 4, its product key opens for
// reading. Logs nothing.
Target FindTarget(Platform& platform, const WideChar* patchFileName, bool languagePack);

// The product a run patches, as identified.
struct Identification {
  int row = kNoProduct;
  WidePath keyPath;            // its registration; empty for none
  std::uint32_t warnings = 0;  // RunWarning bits of its pre-flight lines
};

// FindTarget for `patchName` and the patch folder's database, logged with why the row was taken.
Identification IdentifyProduct(Platform& platform, const RunState& run, const PatchFolder& folder,
                               const WidePath& patchName);

// The pre-flight line for a row whose product key does not exist: the product is not installed
// per machine, and its Transforms is left alone. Returns its warning.
std::uint32_t LogNotRegisteredPerMachine(const RunState& run, int row);

}  // namespace setup

#endif  // SETUP_DETECTION_PRODUCT_IDENTIFICATION_H
