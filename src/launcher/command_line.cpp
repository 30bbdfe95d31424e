#include "launcher/command_line.h"

#include <algorithm>
#include <cstddef>

#include "platform/ascii_case.h"

namespace setup {

namespace {

// Units of non-ASCII characters are above 0x7F and never count as blanks.
bool IsBlankOrControl(WideChar c) { return c <= u' '; }

// Longer than any switch with modifiers ("/qb+!-"): a word this long is a property or a path.
constexpr std::size_t kLongestSwitch = 15;

struct Word {
  WideChar text[kLongestSwitch + 1] = {};
  std::size_t length = 0;
  bool tooLong = false;
};

bool IsBlank(WideChar c) { return c == u' ' || c == u'\t'; }

bool IsModifier(WideChar c) { return c == u'+' || c == u'-' || c == u'!'; }

// The next word at `position`, its quotes dropped and its letters lowered.
Word NextWord(const WideChar*& position) {
  while (*position != u'\0' && IsBlank(*position)) ++position;
  Word word;
  bool quoted = false;
  for (; *position != u'\0' && (quoted || !IsBlank(*position)); ++position) {
    if (*position == u'"') {
      quoted = !quoted;
    } else if (word.length < kLongestSwitch) {
      word.text[word.length++] = LowerAsciiLetter(*position);
    } else {
      word.tooLong = true;
    }
  }
  return word;
}

bool IsUnattendedSwitch(const Word& word) {
  if (word.tooLong || word.length < 2 || (word.text[0] != u'/' && word.text[0] != u'-')) {
    return false;
  }
  // The word is lowered and ends in zeros, so its name compares as it is.
  const WideChar* const name = word.text + 1;
  const WideChar* const end = word.text + word.length;
  if (TextEquals(name, u"quiet") || TextEquals(name, u"passive")) return true;
  if (name[0] != u'q') return false;
  if (std::all_of(name + 1, end, IsModifier)) return true;  // /q, /q+, ...
  const WideChar level = name[1];
  if (!std::all_of(name + 2, end, IsModifier)) return false;
  if (level == u'n') return true;
  // Basic and reduced UI end with a modal box unless '-' turns it off.
  return (level == u'b' || level == u'r') && std::find(name + 2, end, u'-') != end;
}

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

bool RequestsUnattendedRun(const WideChar* commandTail) {
  if (commandTail == nullptr) return false;
  while (*commandTail != u'\0') {
    if (IsUnattendedSwitch(NextWord(commandTail))) return true;
  }
  return false;
}

}  // namespace setup
