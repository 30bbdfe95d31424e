// Installer properties on a command line may carry passwords and keys,
// which have no place in a log that support staff collect.
#ifndef SETUP_SHARED_SECRET_MASKING_H
#define SETUP_SHARED_SECRET_MASKING_H

#include "platform/platform.h"
#include "shared/log_line.h"

namespace setup {

// Appends `commandText` to `line` as it is, but for the value of every
// NAME=value word whose name holds PASS, PWD, SECRET, TOKEN, KEY or CRED
// (ASCII letters in any case), written as "********" whether quoted
// or not. Words are split at blanks outside double quotes, as the
// installer splits them.
void AppendWithSecretsMasked(LogLine& line, const WideChar* commandText);

}  // namespace setup

#endif  // SETUP_SHARED_SECRET_MASKING_H
