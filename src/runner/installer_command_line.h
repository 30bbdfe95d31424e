// The command line that has the command interpreter run the installer.
#ifndef SETUP_RUNNER_INSTALLER_COMMAND_LINE_H
#define SETUP_RUNNER_INSTALLER_COMMAND_LINE_H

#include <cstdint>

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "shared/run_log.h"
#include "shared/secret_masking.h"

namespace setup {

// The interpreter's switches before the command: /D so that no AutoRun command from the registry
// runs first, /E:ON for the variable substring the percent escape relies on, /V:OFF so that "!"
// stays text whatever the registry's DelayedExpansion says.
inline constexpr WideChar kInterpreterSwitches[] = u"/D /E:ON /V:OFF /C";

// True when the interpreter would read `path` as more than one word or part of it as an operator: a
// blank, a tab, or one of & | < > ^ ( ).
bool NeedsQuoting(const WideChar* path);

// True when the interpreter can hand `text` on unchanged: no carriage return (it drops one) and no
// line feed (which ends its command there).
bool InterpreterCanCarry(const WideChar* text);

// The same for the patch path, which also must hold no double quote (one would end its quoting
// early) nor ';' ("msiexec /p"'s patch separator).
bool PatchPathCanBeCarried(const WideChar* path);

// Joins kInterpreterSwitches, " ", systemFolder, "\msiexec.exe /p ", patchPath (quoted when
// NeedsQuoting), " REINSTALL=ALL " and arguments (expanded already) into `commandLine`, escaped so
// that the interpreter runs the one command and hands the installer both literally. Both must be
// carried (PatchPathCanBeCarried, InterpreterCanCarry). Returns the units the line takes, escapes
// included, whether or not it fits; `commandLine` is left empty when it does not. `described`, when
// given, gets the line as the installer gets it, for the log: no escapes, the arguments' secrets
// masked (AppendWithSecretsMasked).
std::uint32_t BuildInstallerCommandLine(const WideChar* systemFolder, const WideChar* patchPath,
                                        const WideChar* arguments, WideLongText& commandLine,
                                        LogLine* described = nullptr,
                                        const UnitsFromVariables* fromVariables = nullptr);

}  // namespace setup

#endif  // SETUP_RUNNER_INSTALLER_COMMAND_LINE_H
