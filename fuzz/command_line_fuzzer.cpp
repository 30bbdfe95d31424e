// The launcher's own command line and the one it builds for the
// interpreter, from arbitrary bytes: the tail must lie inside the line and
// start after the program name; the built line must hold the fixed pieces
// in order with the patch path quoted exactly when needed, or be refused
// whole; nothing may be written past a buffer.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Pieces pieces = Split(data, size);
  const char16_t* const line = pieces.commandLine.c_str();
  const char16_t* const tail = setup::CommandTail(line);
  Require(tail >= line && tail <= line + pieces.commandLine.size(), "tail inside the line");
  Require(*tail == u'\0' || *tail > u' ', "tail starts with a word");
  static_cast<void>(setup::RequestsUnattendedRun(tail));

  // The tail reaches the installer unit for unit.
  const std::u16string arguments(tail);
  setup::WideLongText built;
  const bool fits = setup::BuildInstallerCommandLine(
      pieces.systemFolder.c_str(), pieces.patchPath.c_str(), arguments.c_str(), built);
  const std::u16string result(built.c_str());
  if (!fits) {
    Require(result.empty(), "a refused line is left empty");
    return 0;
  }
  const bool quoted = setup::NeedsQuoting(pieces.patchPath.c_str());
  const std::u16string expected = u"/C " + pieces.systemFolder + u"\\msiexec.exe /p " +
                                  (quoted ? u"\"" + pieces.patchPath + u"\"" : pieces.patchPath) +
                                  u" REINSTALL=ALL " + arguments;
  Require(result == expected, "built line holds exactly the pieces in order");
  Require(result.size() < built.capacity(), "built line fits its buffer with its terminator");
  return 0;
}
