#include "runner/argument_expansion.h"

#include <algorithm>

#include "platform/ascii_case.h"

namespace setup {

namespace {

struct EnvironmentContext {
  Platform& platform;
  const WideChar* currentDirectory;
};

Status LookUpEnvironment(void* context, const WideChar* name, std::size_t length,
                         WideLongText& value) {
  const auto& environment = *static_cast<EnvironmentContext*>(context);
  // An empty name is not defined, nor one too long for the arguments: kept as typed, its units
  // would not fit the expansion either, so a longer name is refused as too long, never misread.
  WideLongText zeroEnded;
  if (length == 0 || !zeroEnded.append(name, length)) return ERROR_ENVVAR_NOT_FOUND;
  const std::uint32_t copied = environment.platform.GetEnvironmentVariableW(
      zeroEnded.c_str(), value.writable_buffer(), value.writable_size());
  if (copied >= value.capacity()) return ERROR_INSUFFICIENT_BUFFER;
  if (copied > 0) {
    value.adopt_written_text();
    return ERROR_SUCCESS;
  }
  if (length == 2 && EqualsIgnoringAsciiCase(name, u"CD", 2)) {
    value.clear();
    return value.append(environment.currentDirectory) ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER;
  }
  // Defined but empty reads as 0 too: taken for undefined, as the interpreter takes it.
  return ERROR_ENVVAR_NOT_FOUND;
}

}  // namespace

Status ExpandVariables(const WideChar* text, VariableLookup lookup, void* context,
                       WideLongText& expanded, UnitsFromVariables& fromVariables) {
  expanded.clear();
  fromVariables.reset();
  WideLongText value;
  const WideChar* at = text;
  while (*at != u'\0') {
    const WideChar* close = at + 1;
    while (*at == u'%' && *close != u'\0' && *close != u'%') ++close;
    // The name ends at a ":", which starts a substring or replacement form.
    const WideChar* const nameEnd = std::find(at + 1, close, u':');
    const Status found =
        *at != u'%' || *close == u'\0'
            ? ERROR_ENVVAR_NOT_FOUND
            : lookup(context, at + 1, static_cast<std::size_t>(nameEnd - at - 1), value);
    bool fits = true;
    if (found != ERROR_SUCCESS && found != ERROR_INSUFFICIENT_BUFFER) {
      fits = expanded.append(*at);  // text, a "%" that no other closes, or an undefined name's
      ++at;
    } else if (nameEnd != close) {
      fits = expanded.append(at, static_cast<std::size_t>(close + 1 - at));
      at = close + 1;
    } else {
      std::size_t unit = expanded.length();
      fits = found == ERROR_SUCCESS && expanded.append(value);
      while (fits && unit < expanded.length()) fromVariables[unit++] = true;
      at = close + 1;
    }
    if (!fits) {
      expanded.clear();
      return ERROR_INSUFFICIENT_BUFFER;
    }
  }
  return ERROR_SUCCESS;
}

Status ExpandWithEnvironment(Platform& platform, const WideChar* currentDirectory,
                             const WideChar* text, WideLongText& expanded,
                             UnitsFromVariables& fromVariables) {
  EnvironmentContext context{platform, currentDirectory};
  return ExpandVariables(text, LookUpEnvironment, &context, expanded, fromVariables);
}

}  // namespace setup
