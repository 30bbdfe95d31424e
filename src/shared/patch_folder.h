// The patch folder the launcher was started from, how it is captured, and the one way paths are
// built from it.
#ifndef SETUP_SHARED_PATCH_FOLDER_H
#define SETUP_SHARED_PATCH_FOLDER_H

#include <initializer_list>

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_state.h"

namespace setup {

// The patch folder's subfolder holding the patch package and transforms.
inline constexpr WideChar kFilesFolder[] = u"Files\\";

struct PatchFolder {
  // The current directory at start, short (8.3) where it can be, ending in a backslash, as it goes
  // unquoted into the registry; empty when unread.
  WideLongText shortForm;
  WideLongText currentDirectory;  // the same, long, as a prompt's %CD% gives it
  // shortForm without its backslash; empty, so that no path is built, when it is or does not fit.
  WidePath path;

  // path\parts; false, `joined` empty, when there is no path or it does not fit.
  bool Join(WidePath& joined, std::initializer_list<const WideChar*> parts) const {
    joined.clear();
    bool fits = !path.empty() && joined.assign(path.c_str()) && joined.append(u'\\');
    for (const WideChar* part : parts) fits = fits && joined.append(part);
    if (!fits) joined.clear();
    return fits;
  }
};

// The current directory, logged.
PatchFolder CapturePatchFolder(Platform& platform, const RunState& run);

}  // namespace setup

#endif  // SETUP_SHARED_PATCH_FOLDER_H
