#include "runner/installer_command_line.h"

namespace setup {

// The interpreter's rules this file relies on (cmd /? and the "cmd" page of
// the Windows Commands reference; each proven under Wine by the end-to-end
// suite):
// - After /C the rest of the line is one command line. Its quotes are kept
//   because its first character, the system folder's drive, is no quote.
// - First, "%NAME%" is replaced by the variable's value where NAME is
//   defined; an undefined one, and a lone "%", stay as they are. This
//   happens before quotes and carets are looked at, and on a command line
//   (unlike in a batch file) no "%%" or caret escapes it. A path's "%" is
//   written "%%cd:~,%": the first "%" finds no variable named "", so it
//   stays, and "%cd:~,%" is an empty slice of the always defined CD, so no
//   name can form around the sign (/E:ON makes the slice syntax available).
// - Then a double quote toggles quoting. Outside quotes & | < > ( ) are
//   operators and "^" makes the next character plain text; inside quotes
//   all of them, "^" included, are plain text. The tail's own quotes are
//   kept, so counting them here tracks the interpreter's state exactly.
// - A carriage return is dropped and a line feed ends the command, so text
//   holding either cannot be carried (Wine's interpreter keeps both: the
//   refusal is for Windows, and harmless on Wine).
// The installer gets the command's text with carets removed, so its own
// quoting of the tail arrives untouched. A variable whose value holds
// quotes or operators acts on the line as it would at a command prompt.

namespace {

constexpr WideChar kPercentEscape[] = u"%%cd:~,%";

bool IsOperator(WideChar unit) {
  switch (unit) {
    case u'&':
    case u'|':
    case u'<':
    case u'>':
    case u'^':
    case u'(':
    case u')':
      return true;
    default:
      return false;
  }
}

// The tail as typed: a caret before each operator outside quotes.
bool AppendArguments(WideLongText& line, const WideChar* arguments) {
  bool quoted = false;
  for (const WideChar* unit = arguments; *unit != WideChar{}; ++unit) {
    if (*unit == u'"') quoted = !quoted;
    if (!quoted && IsOperator(*unit) && !line.append(u'^')) return false;
    if (!line.append(*unit)) return false;
  }
  return true;
}

// The path literally: quoted when needed, every "%" kept from expansion.
bool AppendPatchPath(WideLongText& line, const WideChar* path) {
  const bool quoted = NeedsQuoting(path);
  if (quoted && !line.append(u'"')) return false;
  for (const WideChar* unit = path; *unit != WideChar{}; ++unit) {
    if (!(*unit == u'%' ? line.append(kPercentEscape) : line.append(*unit))) return false;
  }
  return !quoted || line.append(u'"');
}

}  // namespace

bool NeedsQuoting(const WideChar* path) {
  for (const WideChar* unit = path; *unit != WideChar{}; ++unit) {
    if (*unit == u' ' || *unit == u'\t' || IsOperator(*unit)) return true;
  }
  return false;
}

bool InterpreterCanCarry(const WideChar* text) {
  for (const WideChar* unit = text; *unit != WideChar{}; ++unit) {
    if (*unit == u'\r' || *unit == u'\n') return false;
  }
  return true;
}

bool PatchPathCanBeCarried(const WideChar* path) {
  for (const WideChar* unit = path; *unit != WideChar{}; ++unit) {
    if (*unit == u'"' || *unit == u';') return false;
  }
  return InterpreterCanCarry(path);
}

Status BuildInstallerCommandLine(const WideChar* systemFolder, const WideChar* patchPath,
                                 const WideChar* arguments, WideLongText& commandLine) {
  commandLine.clear();
  if (!PatchPathCanBeCarried(patchPath) || !InterpreterCanCarry(arguments)) {
    return ERROR_INVALID_COMMAND_LINE;
  }
  // The first word after /C is never quoted: the interpreter would strip
  // the quotes from the whole line.
  const bool fits = commandLine.append(kInterpreterSwitches) && commandLine.append(u' ') &&
                    commandLine.append(systemFolder) && commandLine.append(u"\\msiexec.exe /p ") &&
                    AppendPatchPath(commandLine, patchPath) &&
                    commandLine.append(u" REINSTALL=ALL ") &&
                    AppendArguments(commandLine, arguments);
  if (!fits) {
    commandLine.clear();
    return ERROR_INSUFFICIENT_BUFFER;
  }
  return ERROR_SUCCESS;
}

}  // namespace setup
