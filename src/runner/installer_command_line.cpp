#include "runner/installer_command_line.h"

namespace setup {

bool NeedsQuoting(const WideChar* path) {
  for (const WideChar* unit = path; *unit != WideChar{}; ++unit) {
    switch (*unit) {
      case u' ':
      case u'\t':
      case u'&':
      case u'|':
      case u'<':
      case u'>':
      case u'^':
        return true;
      default:
        break;
    }
  }
  return false;
}

bool BuildInstallerCommandLine(const WideChar* systemFolder, const WideChar* patchPath,
                               const WideChar* arguments, WideLongText& commandLine) {
  const bool quoted = NeedsQuoting(patchPath);
  commandLine.clear();
  // The first token after "/C " is never quoted: the interpreter would
  // strip the quotes from the whole line.
  const bool fits = commandLine.append(u"/C ") && commandLine.append(systemFolder) &&
                    commandLine.append(u"\\msiexec.exe /p ") &&
                    (!quoted || commandLine.append(u'"')) && commandLine.append(patchPath) &&
                    (!quoted || commandLine.append(u'"')) &&
                    commandLine.append(u" REINSTALL=ALL") && commandLine.append(u' ') &&
                    commandLine.append(arguments);
  if (!fits) commandLine.clear();
  return fits;
}

}  // namespace setup
