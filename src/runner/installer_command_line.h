// The command line that has the command interpreter run the installer.
#ifndef SETUP_RUNNER_INSTALLER_COMMAND_LINE_H
#define SETUP_RUNNER_INSTALLER_COMMAND_LINE_H

#include "platform/bounded_text.h"
#include "platform/platform.h"

namespace setup {

// True when the interpreter would split `path` or read part of it as an
// operator: a blank, a tab, or one of & | < > ^.
bool NeedsQuoting(const WideChar* path);

// Joins "/C " systemFolder "\msiexec.exe /p " patchPath " REINSTALL=ALL"
// " " arguments into `commandLine`. The patch path is put in double quotes
// when NeedsQuoting says so, and only then. False, with `commandLine`
// empty, when the pieces do not fit.
bool BuildInstallerCommandLine(const WideChar* systemFolder, const WideChar* patchPath,
                               const WideChar* arguments, WideLongText& commandLine);

}  // namespace setup

#endif  // SETUP_RUNNER_INSTALLER_COMMAND_LINE_H
