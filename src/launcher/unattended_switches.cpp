#include "launcher/unattended_switches.h"

#include <string>

#include "platform/ascii_case.h"

namespace setup {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The word's text with its quotes dropped, in lower case.
std::string NextWord(const char*& position) {
  while (*position != '\0' && IsBlank(*position)) ++position;
  std::string word;
  bool quoted = false;
  for (; *position != '\0' && (quoted || !IsBlank(*position)); ++position) {
    if (*position == '"') {
      quoted = !quoted;
    } else {
      word += LowerAsciiLetter(*position);
    }
  }
  return word;
}

bool OnlyModifiers(const std::string& text) {
  return text.find_first_not_of("+-!") == std::string::npos;
}

bool IsUnattendedSwitch(const std::string& word) {
  if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return false;
  const std::string name = word.substr(1);
  if (name == "quiet" || name == "passive") return true;
  if (name[0] != 'q') return false;
  if (OnlyModifiers(name.substr(1))) return true;  // /q, /q+, ...
  const char level = name.size() > 1 ? name[1] : '\0';
  const std::string modifiers = name.substr(2);
  if (!OnlyModifiers(modifiers)) return false;
  if (level == 'n') return true;
  // Basic and reduced UI end with a modal box unless '-' turns it off.
  return (level == 'b' || level == 'r') && modifiers.find('-') != std::string::npos;
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
