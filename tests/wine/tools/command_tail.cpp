#include "command_tail.h"

namespace wine_tools {

const wchar_t* SkipProgramName(const wchar_t* command_line) {
  const wchar_t* at = command_line;
  if (*at == L'"') {
    ++at;
    while (*at != L'\0' && *at != L'"') ++at;
    if (*at == L'"') ++at;
  } else {
    while (*at != L'\0' && *at != L' ' && *at != L'\t') ++at;
  }
  while (*at == L' ' || *at == L'\t') ++at;
  return at;
}

std::vector<std::wstring> SplitWords(const wchar_t* text) {
  std::vector<std::wstring> words;
  std::wstring word;
  for (const wchar_t* at = text;; ++at) {
    if (*at == L'\0' || *at == L' ' || *at == L'\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (*at == L'\0') break;
    } else {
      word += *at;
    }
  }
  return words;
}

}  // namespace wine_tools
