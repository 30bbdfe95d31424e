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

// The interpreter's line, built while it fits and counted whole to report one that does not, and
// beside it, when asked for, the line as the installer gets it.
struct BothLines {
  WideLongText& line;
  LogLine* described;
  std::size_t units = 0;
  bool fits = true;
  void interpreter(const WideChar* text, std::size_t count) {
    units += count;
    fits = fits && line.append(text, count);
  }
  void append(const WideChar* text) {
    interpreter(text, TextLength(text));
    if (described != nullptr) *described << text;
  }
  // `unit`, written `escape` in the interpreter's line when given.
  void append(WideChar unit, const WideChar* escape = nullptr) {
    escape != nullptr ? interpreter(escape, TextLength(escape)) : interpreter(&unit, 1);
    if (described != nullptr) described->Text(&unit, 1);
  }
};

}  // namespace

bool NeedsQuoting(const WideChar* path) {
  return HoldsAnyOf(path, u" \t") || HoldsAnyOf(path, kOperators);
}

bool InterpreterCanCarry(const WideChar* text) { return !HoldsAnyOf(text, u"\r\n"); }

bool PatchPathCanBeCarried(const WideChar* path) {
  return !HoldsAnyOf(path, u"\";") && InterpreterCanCarry(path);
}

std::uint32_t BuildInstallerCommandLine(const WideChar* systemFolder, const WideChar* patchPath,
                                        const WideChar* arguments, WideLongText& commandLine,
                                        LogLine* described,
                                        const UnitsFromVariables* fromVariables) {
  commandLine.clear();
  BothLines lines{commandLine, described};
  // The first word after /C is never quoted: the interpreter would strip the quotes from the whole
  // line.
  lines.append(kInterpreterSwitches);
  lines.append(u" ");
  lines.append(systemFolder);
  lines.append(u"\\msiexec.exe /p ");
  // The path literally: quoted when needed, every "%" kept from expansion.
  const bool pathQuoted = NeedsQuoting(patchPath);
  if (pathQuoted) lines.append(u'"');
  for (const WideChar* unit = patchPath; *unit != WideChar{}; ++unit) {
    lines.append(*unit, *unit == u'%' ? kPercentEscape : nullptr);
  }
  if (pathQuoted) lines.append(u'"');
  lines.append(u" REINSTALL=ALL ");
  // The expanded arguments literally: a caret before each operator outside quotes, every "%" kept
  // from expansion. The log masks their secrets.
  bool quoted = false;
  for (const WideChar* unit = arguments; *unit != WideChar{}; ++unit) {
    if (*unit == u'"') quoted = !quoted;
    if (!quoted && IsOneOf(*unit, kOperators)) lines.interpreter(u"^", 1);
    *unit == u'%' ? lines.interpreter(kPercentEscape, TextLength(kPercentEscape))
                  : lines.interpreter(unit, 1);
  }
  if (described != nullptr) AppendWithSecretsMasked(*described, arguments, fromVariables);
  if (!lines.fits) commandLine.clear();
  return static_cast<std::uint32_t>(lines.units);  // the arguments are bounded text
}

}  // namespace setup
