// Which product of the table the patch is for.
#ifndef SETUP_DETECTION_PRODUCT_IDENTIFICATION_H
#define SETUP_DETECTION_PRODUCT_IDENTIFICATION_H

#include "platform/platform.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

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
