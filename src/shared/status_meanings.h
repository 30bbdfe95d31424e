// What a status means, in words an administrator understands, for the log.
#ifndef SETUP_SHARED_STATUS_MEANINGS_H
#define SETUP_SHARED_STATUS_MEANINGS_H

#include "platform/platform.h"

namespace setup {

// The meaning of a status the installer or the launcher ends with, or of a platform error the
// launcher reports; null for one without words here (the log then shows the number alone).
const char* StatusMeaning(Status status);

}  // namespace setup

#endif  // SETUP_SHARED_STATUS_MEANINGS_H
