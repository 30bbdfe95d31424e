// The products a patch can be for, and which one this run is for.
#ifndef SETUP_DETECTION_PRODUCT_TABLE_H
#define SETUP_DETECTION_PRODUCT_TABLE_H

#include "platform/bounded_text.h"
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

}  // namespace setup

#endif  // SETUP_DETECTION_PRODUCT_TABLE_H
