// Installer properties on a command line may carry passwords and keys, which have no place in a
// log that support staff collect.
#ifndef SETUP_SHARED_SECRET_MASKING_H
#define SETUP_SHARED_SECRET_MASKING_H

#include "platform/platform.h"
#include "shared/log_line.h"

namespace setup {

// Appends `commandText` to `line` as it is, but for the value of every assignment whose name
// holds PASS, PWD, SECRET, TOKEN, KEY or CRED (ASCII letters in any case), in every form the
// installer reads as one (NAME=value, NAME = value, "NAME=value", "NAME"="value"): its quotes are
// kept and the rest written "********", up to the next blank outside quotes (a tab does not end
// it). Words are split at blanks outside double quotes.
void AppendWithSecretsMasked(LogLine& line, const WideChar* commandText);

}  // namespace setup

#endif  // SETUP_SHARED_SECRET_MASKING_H
