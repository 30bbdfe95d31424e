// The launcher's own command line and the one it builds for the
// interpreter, from arbitrary bytes: the tail must lie inside the line and
// start after the program name; the built line, read as the interpreter
// reads it (a small model of its documented percent, quote, caret and
// operator rules), must be one command whose text for the installer is the
// fixed pieces, the patch path literally (quoted exactly when needed) and
// the tail as typed at a command prompt; or it is refused whole. Nothing
// may be written past a buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "launcher/command_tail.h"
#include "launcher/unattended_switches.h"
#include "runner/installer_command_line.h"

namespace {

using setup::WideChar;

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

// Splits the input at the first two 0xFF 0xFE pairs into three wide texts:
// the launcher's command line, the system folder and the patch path.
struct Pieces {
  std::u16string commandLine;
  std::u16string systemFolder;
  std::u16string patchPath;
};

std::u16string Wide(const std::string& bytes) {
  std::u16string text;
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    const auto unit = static_cast<char16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                            (static_cast<std::uint8_t>(bytes[at + 1]) << 8));
    if (unit != 0) text.push_back(unit);
  }
  return text;
}

Pieces Split(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string separator("\xFF\xFE", 2);
  const std::size_t first = input.find(separator);
  const std::size_t second =
      first == std::string::npos ? std::string::npos : input.find(separator, first + 2);
  Pieces pieces;
  pieces.commandLine =
      Wide(input.substr(0, first));  // no zero inside: the platform hands over C text
  if (first != std::string::npos) {
    pieces.systemFolder = Wide(input.substr(
        first + 2, second == std::string::npos ? std::string::npos : second - first - 2));
  }
  if (second != std::string::npos) pieces.patchPath = Wide(input.substr(second + 2));
  return pieces;
}

// The one variable the model knows: the interpreter's current directory.
constexpr char16_t kModelCurrentDirectory[] = u"C:\\MODEL";

char16_t Lower(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit + 32 : unit; }

bool SameIgnoringCase(const std::u16string& left, const std::u16string& right) {
  if (left.size() != right.size()) return false;
  for (std::size_t at = 0; at < left.size(); ++at) {
    if (Lower(left[at]) != Lower(right[at])) return false;
  }
  return true;
}

// The interpreter's first pass over a command line: "%NAME%" becomes the
// value of a defined NAME ("%cd:~,%" the empty slice of CD); otherwise the
// first sign stays and scanning goes on at the second.
std::u16string ExpandPercents(const std::u16string& line) {
  std::u16string out;
  std::size_t at = 0;
  while (at < line.size()) {
    if (line[at] != u'%') {
      out += line[at++];
      continue;
    }
    const std::size_t close = line.find(u'%', at + 1);
    if (close == std::u16string::npos) {
      out += line.substr(at);
      break;
    }
    const std::u16string name = line.substr(at + 1, close - at - 1);
    if (SameIgnoringCase(name, u"cd")) {
      out += kModelCurrentDirectory;
      at = close + 1;
    } else if (SameIgnoringCase(name, u"cd:~,")) {
      at = close + 1;
    } else {
      out += line.substr(at, close - at);
      at = close;
    }
  }
  return out;
}

bool IsOperator(char16_t unit) {
  return unit == u'&' || unit == u'|' || unit == u'<' || unit == u'>' || unit == u'(' ||
         unit == u')';
}

// The second pass: quotes toggle, a caret outside them makes the next unit
// text, an operator outside them would start another command or a
// redirection. False then; else `text` is what the program gets.
bool OneCommand(const std::u16string& expanded, std::u16string& text) {
  bool quoted = false;
  for (std::size_t at = 0; at < expanded.size(); ++at) {
    const char16_t unit = expanded[at];
    if (unit == u'\r' || unit == u'\n') return false;
    if (unit == u'"') quoted = !quoted;
    if (!quoted && unit == u'^') {
      if (++at < expanded.size()) text += expanded[at];
      continue;
    }
    if (!quoted && IsOperator(unit)) return false;
    text += unit;
  }
  return true;
}

// A system folder the launcher is handed holds none of what the
// interpreter reads specially; the fuzzer's may.
bool PlainFolder(const std::u16string& folder) {
  for (const char16_t unit : folder) {
    if (unit <= u' ' || unit == u'"' || unit == u'%' || unit == u'^' || unit == u'!' ||
        IsOperator(unit)) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Pieces pieces = Split(data, size);
  const char16_t* const line = pieces.commandLine.c_str();
  const char16_t* const tail = setup::CommandTail(line);
  Require(tail >= line && tail <= line + pieces.commandLine.size(), "tail inside the line");
  Require(*tail == u'\0' || *tail > u' ', "tail starts with a word");
  static_cast<void>(setup::RequestsUnattendedRun(tail));

  // The tail reaches the installer as typed at a command prompt.
  const std::u16string arguments(tail);
  setup::WideLongText built;
  const setup::Status status = setup::BuildInstallerCommandLine(
      pieces.systemFolder.c_str(), pieces.patchPath.c_str(), arguments.c_str(), built);
  const std::u16string result(built.c_str());
  Require(result.size() < built.capacity(), "built line fits its buffer with its terminator");
  if (status != 0) {
    Require(result.empty(), "a refused line is left empty");
    Require(status == setup::ERROR_INSUFFICIENT_BUFFER ||
                (status == setup::ERROR_INVALID_COMMAND_LINE &&
                 (arguments.find_first_of(u"\r\n") != std::u16string::npos ||
                  pieces.patchPath.find_first_of(u"\"\r\n;") != std::u16string::npos)),
            "a line is refused only when too long or not carried");
    return 0;
  }
  const std::u16string switches = std::u16string(setup::kInterpreterSwitches) + u" ";
  Require(result.compare(0, switches.size(), switches) == 0, "the switches come first");
  if (!PlainFolder(pieces.systemFolder)) return 0;

  std::u16string installerText;
  Require(OneCommand(ExpandPercents(result.substr(switches.size())), installerText),
          "the interpreter runs one command");
  const bool quoted = setup::NeedsQuoting(pieces.patchPath.c_str());
  const std::u16string expected = pieces.systemFolder + u"\\msiexec.exe /p " +
                                  (quoted ? u"\"" + pieces.patchPath + u"\"" : pieces.patchPath) +
                                  u" REINSTALL=ALL " + ExpandPercents(arguments);
  Require(installerText == expected, "the installer gets the path literally and the tail as typed");
  return 0;
}
