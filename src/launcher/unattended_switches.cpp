#include "launcher/unattended_switches.h"

#include <cstddef>
#include <cstring>

#include "platform/ascii_case.h"

namespace setup {

namespace {

// Longer than any switch with its modifiers ("/passive", "/qb+!-"): a word
// this long is a property or a path, never a switch.
constexpr std::size_t kLongestSwitch = 15;

struct Word {
  char text[kLongestSwitch + 1] = {};
  std::size_t length = 0;
  bool tooLong = false;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The next word at `position`, its quotes dropped and its letters lowered.
Word NextWord(const char*& position) {
  while (*position != '\0' && IsBlank(*position)) ++position;
  Word word;
  bool quoted = false;
  for (; *position != '\0' && (quoted || !IsBlank(*position)); ++position) {
    if (*position == '"') {
      quoted = !quoted;
    } else if (word.length < kLongestSwitch) {
      word.text[word.length++] = LowerAsciiLetter(*position);
    } else {
      word.tooLong = true;
    }
  }
  return word;
}

bool OnlyModifiers(const char* text, std::size_t length) {
  for (std::size_t at = 0; at < length; ++at) {
    if (text[at] != '+' && text[at] != '-' && text[at] != '!') return false;
  }
  return true;
}

bool NameIs(const char* name, std::size_t length, const char* expected) {
  return length == std::strlen(expected) && std::memcmp(name, expected, length) == 0;
}

bool IsUnattendedSwitch(const Word& word) {
  if (word.tooLong || word.length < 2 || (word.text[0] != '/' && word.text[0] != '-')) return false;
  const char* const name = word.text + 1;
  const std::size_t nameLength = word.length - 1;
  if (NameIs(name, nameLength, "quiet") || NameIs(name, nameLength, "passive")) return true;
  if (name[0] != 'q') return false;
  if (OnlyModifiers(name + 1, nameLength - 1)) return true;  // /q, /q+, ...
  const char level = name[1];
  const char* const modifiers = name + 2;
  const std::size_t modifierCount = nameLength - 2;
  if (!OnlyModifiers(modifiers, modifierCount)) return false;
  if (level == 'n') return true;
  // Basic and reduced UI end with a modal box unless '-' turns it off.
  return (level == 'b' || level == 'r') && std::memchr(modifiers, '-', modifierCount) != nullptr;
}

}  // namespace

bool RequestsUnattendedRun(const char* commandTail) {
  if (commandTail == nullptr) return false;
  const char* position = commandTail;
  while (*position != '\0') {
    if (IsUnattendedSwitch(NextWord(position))) return true;
  }
  return false;
}

}  // namespace setup
