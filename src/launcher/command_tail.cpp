#include "launcher/command_tail.h"

namespace setup {

namespace {

// Units of non-ASCII characters are above 0x7F and never count as blanks.
bool IsBlankOrControl(WideChar c) { return c <= u' '; }

}  // namespace

const WideChar* CommandTail(const WideChar* commandLine) {
  if (commandLine == nullptr) return u"";
  bool quoted = false;
  for (; *commandLine != u'\0' && (quoted || !IsBlankOrControl(*commandLine)); ++commandLine) {
    if (*commandLine == u'"') quoted = !quoted;
  }
  while (*commandLine != u'\0' && IsBlankOrControl(*commandLine)) ++commandLine;
  return commandLine;
}

}  // namespace setup
