// Points the product's registered Transforms at the patch folder's language transform while the
// patch runs, and puts it back afterwards through a journal (TransformsBackup): a run finishes the
// one an earlier run left before it changes anything, and its own at its end.
#ifndef SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
#define SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H

#include "platform/platform.h"
#include "detection/product_identification.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

// What the registration holds for the restore.
enum class Held {
  Nothing,      // no journal of this run's: nothing to put back
  Journal,      // this run's journal, Transforms left alone: only the journal goes
  Redirection,  // this run's journal and redirection (or a write that may have landed)
};

struct Redirection {
  int product = kNoProduct;  // whose registration holds it
  WidePath keyPath;          // that registration
  // What kept an earlier run's journal from being finished: the run ends with it.
  Status recovery = ERROR_SUCCESS;
  bool registered = false;  // the product's registration was found
  Held held = Held::Nothing;
  WidePath written;  // Transforms as redirected
  std::uint32_t warnings = 0;
};

// Through one key of `product`'s registration: finishes a journal an earlier run left, backs up
// Transforms and points it at the patch folder's "Files\" + the transform of the product's language
// ("1033.mst" when not known). Nothing changes without a patch folder, a product, a backup in
// place, a value that fits, or while Transforms no longer reads as backed up.
Redirection RedirectTransforms(Platform& platform, const RunState& run, const PatchFolder& folder,
                               const Identification& product);

// Puts the product's own Transforms back from this run's journal, if any, and deletes the journal.
// Transforms is deleted only where this run's journal or write proves the launcher wrote it.
// ERROR_FILE_NOT_FOUND when the journal this run relied on has gone.
Status RestoreTransforms(Platform& platform, const RunState& run, const Redirection& redirection);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_TRANSFORMS_REDIRECTION_H
