// Installer properties on a command line may carry passwords and keys, which have no place in a log
// that support staff collect.
#ifndef SETUP_SHARED_SECRET_MASKING_H
#define SETUP_SHARED_SECRET_MASKING_H

#include <bitset>

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_log.h"

namespace setup {

// Which units of an expanded text (a WideLongText) came from a variable's value.
using UnitsFromVariables = std::bitset<kLongTextUnits>;

// `commandText` with the value of every assignment whose name holds PASS, PWD, SECRET, TOKEN, KEY
// or CRED (any ASCII case) masked, in every form the installer reads as one: NAME=value, NAME =
// value, "NAME=value", "NAME"="value". `fromVariables` marks units from a variable.
void AppendWithSecretsMasked(LogLine& line, const WideChar* commandText,
                             const UnitsFromVariables* fromVariables = nullptr);

}  // namespace setup

#endif  // SETUP_SHARED_SECRET_MASKING_H
