#include "launcher/command_tail.h"

namespace setup {

namespace {

// Bytes of non-ASCII characters are above 0x7F and never count as blanks.
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

const char* CommandTail(const char* commandLine) {
  static const char kEmpty[] = "";
  if (commandLine == nullptr) return kEmpty;

  const char* position = commandLine;
  bool quoted = false;
  while (*position != '\0' && (quoted || !IsBlankOrControl(*position))) {
    if (*position == '"') quoted = !quoted;
    ++position;
  }
  while (*position != '\0' && IsBlankOrControl(*position)) ++position;
  return position;
}

}  // namespace setup
