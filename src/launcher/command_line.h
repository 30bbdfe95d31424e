// Where the launcher's arguments start, and whether they ask the installer for no dialogs.
#ifndef SETUP_LAUNCHER_COMMAND_LINE_H
#define SETUP_LAUNCHER_COMMAND_LINE_H

#include "platform/platform.h"

namespace setup {

// Just past the program name and the units of code 32 or less after it; in the name a double quote
// toggles quoting, so a quoted name may hold blanks. Never null.
const WideChar* CommandTail(const WideChar* commandLine);

// True when a separate word of `commandTail` sets an installer UI level that shows no modal dialog:
// /q or /qn with any of the modifiers + - !, /quiet, /passive, or /qb or /qr carrying '-'; written
// with '/' or '-', in any letter case. A word ends at a blank outside double quotes and its quotes
// are dropped, so a property value that merely holds "/q" is no switch.
bool RequestsUnattendedRun(const WideChar* commandTail);

}  // namespace setup

#endif  // SETUP_LAUNCHER_COMMAND_LINE_H
