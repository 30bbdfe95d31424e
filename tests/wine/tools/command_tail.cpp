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

}  // namespace wine_tools
