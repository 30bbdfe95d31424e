// The text after the program's own name on its command line.
#ifndef SETUP_LAUNCHER_COMMAND_TAIL_H
#define SETUP_LAUNCHER_COMMAND_TAIL_H

#include "platform/platform.h"

namespace setup {

// Returns a pointer into the UTF-16 `commandLine` just past the program name and the units of
// code 32 or less after it. In the name a double quote toggles quoting, so a quoted name may hold
// blanks. Never null: a line holding only the name gives the empty text at its end.
const WideChar* CommandTail(const WideChar* commandLine);

}  // namespace setup

#endif  // SETUP_LAUNCHER_COMMAND_TAIL_H
