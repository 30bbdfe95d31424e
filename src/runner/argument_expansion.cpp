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
  WidePath zeroEnded;
  // An empty name, or one no variable can have, is not defined.
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
                       WideLongText& expanded) {
  expanded.clear();
  const WideChar* at = text;
  while (*at != u'\0') {
    const WideChar* close = at + 1;
    while (*at == u'%' && *close != u'\0' && *close != u'%') ++close;
    bool fits = true;
    if (*at != u'%' || *close == u'\0') {
      fits = expanded.append(*at);  // text, or a "%" that no other closes
      ++at;
    } else if (std::find(at + 1, close, u':') != close) {
      fits = expanded.append(at, static_cast<std::size_t>(close + 1 - at));
      at = close + 1;
    } else {
      WideLongText value;
      const Status found = lookup(context, at + 1, static_cast<std::size_t>(close - at - 1), value);
      if (found == ERROR_SUCCESS) {
        fits = expanded.append(value);
        at = close + 1;
      } else {
        fits = found != ERROR_INSUFFICIENT_BUFFER && expanded.append(*at);
        ++at;
      }
    }
    if (!fits) {
      expanded.clear();
      return ERROR_INSUFFICIENT_BUFFER;
    }
  }
  return ERROR_SUCCESS;
}

Status ExpandWithEnvironment(Platform& platform, const WideChar* currentDirectory,
                             const WideChar* text, WideLongText& expanded) {
  EnvironmentContext context{platform, currentDirectory};
  return ExpandVariables(text, LookUpEnvironment, &context, expanded);
}

}  // namespace setup
