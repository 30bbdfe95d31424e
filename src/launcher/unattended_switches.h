// Whether the installer is asked to run without modal dialogs.
#ifndef SETUP_LAUNCHER_UNATTENDED_SWITCHES_H
#define SETUP_LAUNCHER_UNATTENDED_SWITCHES_H

#include "platform/platform.h"

namespace setup {

// True when a separate word of `commandTail` sets an installer UI level that shows no modal
// dialog: /q or /qn with any of the modifiers + - !, /quiet, /passive, or /qb or /qr carrying '-';
// written with '/' or '-', in any letter case. Words are separated by blanks outside double
// quotes; the quotes of a word do not belong to the switch, so a property value that merely holds
// "/q" does not count.
bool RequestsUnattendedRun(const WideChar* commandTail);

}  // namespace setup

#endif  // SETUP_LAUNCHER_UNATTENDED_SWITCHES_H
