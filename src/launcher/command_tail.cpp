#include "launcher/command_tail.h"

namespace setup {

namespace {

// Units of non-ASCII characters are above 0x7F and never count as blanks.
bool IsBlankOrControl(WideChar c) { return c <= u' '; }

}  // namespace

const WideChar* CommandTail(const WideChar* commandLine) {
  if (commandLine == nullptr) return u"";

  const WideChar* position = commandLine;
  bool quoted = false;
  while (*position != u'\0' && (quoted || !IsBlankOrControl(*position))) {
    if (*position == u'"') quoted = !quoted;
    ++position;
  }
  while (*position != u'\0' && IsBlankOrControl(*position)) ++position;
  return position;
}

}  // namespace setup
