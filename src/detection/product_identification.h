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

struct Identification {
  int row = kNoProduct;
  WidePath keyPath;            // its registration, built once a run; empty for none
  std::uint32_t warnings = 0;  // RunWarning bits of its pre-flight lines
};

// The first row that qualifies (see ProductEntry), from row 5 on when the patch folder's database
// is a language-pack installer; logged with why it was taken.
Identification IdentifyProduct(Platform& platform, const RunState& run, const PatchFolder& folder,
                               const WidePath& patchName);

// The pre-flight line for a row whose product key does not exist; returns its warning.
std::uint32_t LogNotRegisteredPerMachine(const RunState& run, int row);

}  // namespace setup

#endif  // SETUP_DETECTION_PRODUCT_IDENTIFICATION_H
