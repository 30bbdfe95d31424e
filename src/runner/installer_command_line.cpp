#include "runner/installer_command_line.h"

namespace setup {

// The interpreter's rules relied on (cmd /? and the Windows Commands
// reference):
// - After /C the rest is one command line; its quotes are kept, as its
//   first character, the system folder's drive, is no quote.
// - Windows' interpreter first replaces each defined "%NAME%" over the
//   whole line, inside quotes too, and only then reads quotes, carets and
//   operators; on a command line nothing escapes a "%". Wine's reads
//   operators first, so a line still holding a reference would mean
//   different things to the two. So the launcher expands the arguments
//   itself and writes every "%" as "%%cd:~,%": the first "%" finds no
//   variable "", and "%cd:~,%" is an empty slice of the always defined CD
//   (/E:ON), so no name can form around it. With nothing left to expand
//   both orders read the line alike, and what the Wine suite proves holds
//   on Windows.
// - Then a quote toggles quoting; outside quotes & | < > ( ) are operators
//   and "^" makes the next character text; inside, all are text. The
//   arguments' quotes are kept, so counting them tracks the interpreter.
// - A carriage return is dropped and a line feed ends the command: text
//   holding either cannot be carried (on Windows; Wine keeps both).
// The installer gets the text with carets removed, its quoting untouched.

namespace {

constexpr WideChar kPercentEscape[] = u"%%cd:~,%";

constexpr WideChar kOperators[] = u"&|<>^()";

// Whether `unit` is one of the zero-terminated `units`.
bool IsOneOf(WideChar unit, const WideChar* units) {
  for (; *units != WideChar{}; ++units) {
    if (*units == unit) return true;
  }
  return false;
}

bool HoldsAnyOf(const WideChar* text, const WideChar* units) {
  for (; *text != WideChar{}; ++text) {
    if (IsOneOf(*text, units)) return true;
  }
  return false;
}

// Builds a line while it fits and counts it whole, to report one that does not.
struct MeasuredLine {
  WideLongText& line;
  std::size_t units = 0;
  bool fits = true;
  void append(WideChar unit) {
    ++units;
    fits = fits && line.append(unit);
  }
  void append(const WideChar* text) {
    units += TextLength(text);
    fits = fits && line.append(text);
  }
};

// The log's view of a line.
struct LogLineSink {
  LogLine& line;
  void append(WideChar unit) { line.Text(&unit, 1); }
  void append(const WideChar* text) { line << text; }
};

// The path literally: quoted when needed, every "%" kept from expansion
// (as the installer gets it, when not `escaped`).
template <typename Line>
void AppendPatchPath(Line& line, const WideChar* path, bool escaped) {
  const bool quoted = NeedsQuoting(path);
  if (quoted) line.append(u'"');
  for (const WideChar* unit = path; *unit != WideChar{}; ++unit) {
    *unit == u'%' && escaped ? line.append(kPercentEscape) : line.append(*unit);
  }
  if (quoted) line.append(u'"');
}

// Everything before the arguments. The first word after /C is never
// quoted: the interpreter would strip the quotes from the whole line.
template <typename Line>
void AppendCommand(Line& line, const WideChar* systemFolder, const WideChar* patchPath,
                   bool escaped) {
  line.append(kInterpreterSwitches);
  line.append(u' ');
  line.append(systemFolder);
  line.append(u"\\msiexec.exe /p ");
  AppendPatchPath(line, patchPath, escaped);
  line.append(u" REINSTALL=ALL ");
}

}  // namespace

bool NeedsQuoting(const WideChar* path) {
  return HoldsAnyOf(path, u" \t") || HoldsAnyOf(path, kOperators);
}

bool InterpreterCanCarry(const WideChar* text) { return !HoldsAnyOf(text, u"\r\n"); }

bool PatchPathCanBeCarried(const WideChar* path) {
  return !HoldsAnyOf(path, u"\";") && InterpreterCanCarry(path);
}

std::uint32_t BuildInstallerCommandLine(const WideChar* systemFolder, const WideChar* patchPath,
                                        const WideChar* arguments, WideLongText& commandLine) {
  commandLine.clear();
  MeasuredLine measured{commandLine};
  AppendCommand(measured, systemFolder, patchPath, true);
  // The expanded arguments literally: a caret before each operator outside
  // quotes, every "%" kept from expansion.
  bool quoted = false;
  for (const WideChar* unit = arguments; *unit != WideChar{}; ++unit) {
    if (*unit == u'"') quoted = !quoted;
    if (!quoted && IsOneOf(*unit, kOperators)) measured.append(u'^');
    *unit == u'%' ? measured.append(kPercentEscape) : measured.append(*unit);
  }
  if (!measured.fits) commandLine.clear();
  return static_cast<std::uint32_t>(measured.units);  // the arguments are bounded text
}

void DescribeInstallerCommandLine(LogLine& line, const WideChar* systemFolder,
                                  const WideChar* patchPath, const WideChar* arguments,
                                  const UnitsFromVariables* fromVariables) {
  LogLineSink sink{line};
  AppendCommand(sink, systemFolder, patchPath, false);
  AppendWithSecretsMasked(line, arguments, fromVariables);
}

}  // namespace setup
