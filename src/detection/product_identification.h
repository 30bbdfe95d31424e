// Which product of the table the patch is for.
#ifndef SETUP_DETECTION_PRODUCT_IDENTIFICATION_H
#define SETUP_DETECTION_PRODUCT_IDENTIFICATION_H

#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// Scans the product table with the patch package's name (PatchPackageName).
void IdentifyProduct(Platform& platform, RunState& run);

// Sets run.CurrentProduct to the first qualifying row from row 5 on when the
// patch folder's database is a language-pack installer, else from row 0 on;
// -1 when none qualifies. A row qualifies when its keyword occurs in
// `patchFileName` and, for rows 0 to 4, its product key opens for reading.
void ScanProductTable(Platform& platform, RunState& run, const WideChar* patchFileName);

// The pre-flight line for a row whose product key does not exist: the
// product is not installed per machine, and its Transforms is left alone.
void LogNotRegisteredPerMachine(Platform& platform, RunState& run, int row);

}  // namespace setup

#endif  // SETUP_DETECTION_PRODUCT_IDENTIFICATION_H
