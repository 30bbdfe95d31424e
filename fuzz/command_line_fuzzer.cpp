// The launcher's own command line and the one it builds for the
// interpreter, from arbitrary bytes: the tail must lie inside the line and
// start after the program name; the launcher expands it as a prompt would;
// the built line, read as Windows' interpreter reads it (a small model of
// its documented phases: percent expansion over the whole line, then
// quotes, carets and operators), must be one command whose text for the
// installer is the fixed pieces, the patch path literally (quoted exactly
// when needed) and the expanded tail; or it is refused whole. Nothing
// may be written past a buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "launcher/command_line.h"
#include "proof/interpreter_model.h"
#include "runner/argument_expansion.h"
#include "runner/installer_command_line.h"
#include "sim/ascii_case.h"

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

// The environment the launcher and the model share: values holding
// operators, quotes and a reference of their own among them.
const setup::proof::ModelEnvironment& Environment() {
  static const setup::proof::ModelEnvironment environment = [] {
    setup::proof::ModelEnvironment model;
    model.currentDirectory = u"C:\\Patch Files";
    model.Set(u"OS", u"Windows_NT");
    model.Set(u"ProgramFiles(x86)", u"C:\\Program Files (x86)");
    model.Set(u"QV", u"a&echo hi>C:\\mq.txt");
    model.Set(u"Q", u"\"x y\"");
    model.Set(u"Q1", u"\"open");
    model.Set(u"P", u"%OS%");
    model.Set(u"C", u"^(x)|y");
    return model;
  }();
  return environment;
}

setup::Status LookUp(void*, const WideChar* name, std::size_t length, setup::WideLongText& value) {
  const std::u16string* text = Environment().Find(std::u16string_view(name, length));
  if (text == nullptr) return setup::ERROR_ENVVAR_NOT_FOUND;
  return value.assign(text->c_str()) ? 0 : setup::ERROR_INSUFFICIENT_BUFFER;
}

bool IsOperator(char16_t unit) {
  return unit == u'&' || unit == u'|' || unit == u'<' || unit == u'>' || unit == u'(' ||
         unit == u')';
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

  // The tail reaches the installer as a command prompt expands it.
  const std::u16string typed(tail);
  setup::WideLongText expanded;
  setup::UnitsFromVariables fromVariables;
  if (setup::ExpandVariables(tail, LookUp, nullptr, expanded, fromVariables) != 0) {
    Require(expanded.length() == 0, "an expansion that does not fit is left empty");
    return 0;
  }
  const std::u16string arguments(expanded.c_str());
  Require((fromVariables >> arguments.size()).none(), "only the expansion's units are marked");
  // The model takes "%cd:~,%" for CD's empty slice, as a prompt does; the launcher keeps a
  // defined name's every form as typed.
  Require(arguments == setup::proof::ExpandAsAPrompt(typed, Environment()) ||
              setup::sim::FoldedKey(typed).find(u"%cd:~,%") != std::u16string::npos,
          "the launcher expands as a prompt does");
  // What cannot be carried is refused before a line is built.
  if (!setup::InterpreterCanCarry(arguments.c_str()) ||
      !setup::PatchPathCanBeCarried(pieces.patchPath.c_str())) {
    Require(arguments.find_first_of(u"\r\n") != std::u16string::npos ||
                pieces.patchPath.find_first_of(u"\"\r\n;") != std::u16string::npos,
            "only a break, or a quote or ';' in the path, is not carried");
    return 0;
  }
  setup::WideLongText built;
  const std::uint32_t units = setup::BuildInstallerCommandLine(
      pieces.systemFolder.c_str(), pieces.patchPath.c_str(), arguments.c_str(), built);
  const std::u16string result(built.c_str());
  Require(result.size() < built.capacity(), "built line fits its buffer with its terminator");
  if (result.empty()) {
    Require(units >= built.capacity(), "a line is refused only when too long");
    return 0;
  }
  Require(units == result.size(), "the measured length is the built one's");
  const std::u16string switches = std::u16string(setup::kInterpreterSwitches) + u" ";
  Require(result.compare(0, switches.size(), switches) == 0, "the switches come first");
  if (!PlainFolder(pieces.systemFolder)) return 0;

  // Windows' phase order: the model expands over the whole line first.
  std::u16string installerText;
  Require(
      setup::proof::RunsOneCommand(result.substr(switches.size()), Environment(), installerText),
      "the interpreter runs one command");
  const bool quoted = setup::NeedsQuoting(pieces.patchPath.c_str());
  const std::u16string expected = pieces.systemFolder + u"\\msiexec.exe /p " +
                                  (quoted ? u"\"" + pieces.patchPath + u"\"" : pieces.patchPath) +
                                  u" REINSTALL=ALL " + arguments;
  Require(installerText == expected,
          "the installer gets the path literally and the tail as a "
          "prompt expands it");
  return 0;
}
