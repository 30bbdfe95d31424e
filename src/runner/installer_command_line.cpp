#include "runner/installer_command_line.h"

#include "shared/secret_masking.h"

namespace setup {

// The interpreter's rules this file relies on (cmd /? and the "cmd" page of
// the Windows Commands reference):
// - After /C the rest of the line is one command line. Its quotes are kept
//   because its first character, the system folder's drive, is no quote.
// - Windows' interpreter reads a line in phases: first "%NAME%" is replaced
//   over the whole line, inside quotes too, where NAME is defined (an
//   undefined one, and a lone "%", stay); only then are quotes, carets and
//   operators read. On a command line (unlike in a batch file) no "%%" or
//   caret escapes a "%". Wine's interpreter reads carets and operators
//   first, so a line that still held a reference would mean different
//   things to the two (RUSTSEC-2024-0006 describes the argument injection
//   this order allows through cmd.exe).
// - So no reference reaches the interpreter: the launcher expands the
//   arguments itself (argument_expansion.h), and every "%" of the line, the
//   path's and the expanded arguments', is written "%%cd:~,%": the first
//   "%" finds no variable named "", so it stays, and "%cd:~,%" is an empty
//   slice of the always defined CD, so no name can form around the sign
//   (/E:ON makes the slice syntax available). With nothing left to expand,
//   both phase orders read the line alike, so what the end-to-end suite
//   proves under Wine holds on Windows.
// - Then a double quote toggles quoting. Outside quotes & | < > ( ) are
//   operators and "^" makes the next character plain text; inside quotes
//   all of them, "^" included, are plain text. The quotes of the expanded
//   arguments are kept, so counting them here tracks the interpreter's
//   state exactly, values' quotes included.
// - A carriage return is dropped and a line feed ends the command, so text
//   holding either cannot be carried (Wine's interpreter keeps both: the
//   refusal is for Windows, and harmless on Wine).
// The installer gets the command's text with carets removed, so its own
// quoting of the arguments arrives untouched.

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

// Counts what a line would hold, for the report of one that does not fit.
struct UnitCounter {
  std::size_t units = 0;
  bool append(WideChar) { return ++units, true; }
  bool append(const WideChar* text) { return units += TextLength(text), true; }
};

// The expanded arguments literally: a caret before each operator outside
// quotes, every "%" kept from expansion.
template <typename Line>
bool AppendArguments(Line& line, const WideChar* arguments) {
  bool quoted = false;
  for (const WideChar* unit = arguments; *unit != WideChar{}; ++unit) {
    if (*unit == u'"') quoted = !quoted;
    if (!quoted && IsOperator(*unit) && !line.append(u'^')) return false;
    if (!(*unit == u'%' ? line.append(kPercentEscape) : line.append(*unit))) return false;
  }
  return true;
}

// The path literally: quoted when needed, every "%" kept from expansion
// (as the installer gets it, when not `escaped`).
template <typename Line>
bool AppendPatchPath(Line& line, const WideChar* path, bool escaped) {
  const bool quoted = NeedsQuoting(path);
  if (quoted && !line.append(u'"')) return false;
  for (const WideChar* unit = path; *unit != WideChar{}; ++unit) {
    if (!(*unit == u'%' && escaped ? line.append(kPercentEscape) : line.append(*unit)))
      return false;
  }
  return !quoted || line.append(u'"');
}

// Everything before the arguments. The first word after /C is never
// quoted: the interpreter would strip the quotes from the whole line.
template <typename Line>
bool AppendCommand(Line& line, const WideChar* systemFolder, const WideChar* patchPath,
                   bool escaped) {
  return line.append(kInterpreterSwitches) && line.append(u' ') && line.append(systemFolder) &&
         line.append(u"\\msiexec.exe /p ") && AppendPatchPath(line, patchPath, escaped) &&
         line.append(u" REINSTALL=ALL ");
}

template <typename Line>
bool AppendCommandLine(Line& line, const WideChar* systemFolder, const WideChar* patchPath,
                       const WideChar* arguments) {
  return AppendCommand(line, systemFolder, patchPath, true) && AppendArguments(line, arguments);
}

// The log's view of a line: every unit shown.
struct LogLineSink {
  LogLine& line;
  bool append(WideChar unit) { return line.Text(&unit, 1), true; }
  bool append(const WideChar* text) { return line << text, true; }
};

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
  if (!AppendCommandLine(commandLine, systemFolder, patchPath, arguments)) {
    commandLine.clear();
    return ERROR_INSUFFICIENT_BUFFER;
  }
  return ERROR_SUCCESS;
}

void DescribeInstallerCommandLine(LogLine& line, const WideChar* systemFolder,
                                  const WideChar* patchPath, const WideChar* arguments) {
  LogLineSink sink{line};
  static_cast<void>(AppendCommand(sink, systemFolder, patchPath, false));
  AppendWithSecretsMasked(line, arguments);
}

std::size_t InstallerCommandLineLength(const WideChar* systemFolder, const WideChar* patchPath,
                                       const WideChar* arguments) {
  UnitCounter counter;
  static_cast<void>(AppendCommandLine(counter, systemFolder, patchPath, arguments));
  return counter.units;
}

}  // namespace setup
