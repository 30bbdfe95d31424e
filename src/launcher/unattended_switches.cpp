#include "launcher/unattended_switches.h"

#include <cstddef>

#include "platform/ascii_case.h"

namespace setup {

namespace {

// Longer than any switch with its modifiers ("/passive", "/qb+!-"): a word
// this long is a property or a path, never a switch.
constexpr std::size_t kLongestSwitch = 15;

struct Word {
  WideChar text[kLongestSwitch + 1] = {};
  std::size_t length = 0;
  bool tooLong = false;
};

bool IsBlank(WideChar c) { return c == u' ' || c == u'\t'; }

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

bool OnlyModifiers(const WideChar* text, std::size_t length) {
  for (std::size_t at = 0; at < length; ++at) {
    if (text[at] != u'+' && text[at] != u'-' && text[at] != u'!') return false;
  }
  return true;
}

bool HasMinus(const WideChar* text, std::size_t length) {
  for (std::size_t at = 0; at < length; ++at) {
    if (text[at] == u'-') return true;
  }
  return false;
}

bool NameIs(const WideChar* name, std::size_t length, const WideChar* expected) {
  return length == TextLength(expected) && EqualsIgnoringAsciiCase(name, expected, length);
}

bool IsUnattendedSwitch(const Word& word) {
  if (word.tooLong || word.length < 2 || (word.text[0] != u'/' && word.text[0] != u'-')) {
    return false;
  }
  const WideChar* const name = word.text + 1;
  const std::size_t nameLength = word.length - 1;
  if (NameIs(name, nameLength, u"quiet") || NameIs(name, nameLength, u"passive")) return true;
  if (name[0] != u'q') return false;
  if (OnlyModifiers(name + 1, nameLength - 1)) return true;  // /q, /q+, ...
  const WideChar level = name[1];
  const WideChar* const modifiers = name + 2;
  const std::size_t modifierCount = nameLength - 2;
  if (!OnlyModifiers(modifiers, modifierCount)) return false;
  if (level == u'n') return true;
  // Basic and reduced UI end with a modal box unless '-' turns it off.
  return (level == u'b' || level == u'r') && HasMinus(modifiers, modifierCount);
}

}  // namespace

bool RequestsUnattendedRun(const WideChar* commandTail) {
  if (commandTail == nullptr) return false;
  const WideChar* position = commandTail;
  while (*position != u'\0') {
    if (IsUnattendedSwitch(NextWord(position))) return true;
  }
  return false;
}

}  // namespace setup
