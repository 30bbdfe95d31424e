#include "shared/secret_masking.h"

#include <cstddef>

#include "platform/ascii_case.h"

namespace setup {

namespace {

// Broad on purpose: masking a harmless value costs nothing, a leaked one a
// credential (ADMINPASS, PASSPHRASE, PRODUCTKEY, LICENSEKEY, CREDENTIAL...).
constexpr const WideChar* kSecretMarks[] = {u"PASS", u"PWD", u"SECRET", u"TOKEN", u"KEY", u"CRED"};

bool IsBlank(WideChar unit) { return unit == u' ' || unit == u'\t'; }

// Whether the `length` units at `name` hold one of the marks.
bool NamesASecret(const WideChar* name, std::size_t length) {
  for (const WideChar* mark : kSecretMarks) {
    const std::size_t markLength = TextLength(mark);
    for (std::size_t start = 0; start + markLength <= length; ++start) {
      if (EqualsIgnoringAsciiCase(name + start, mark, markLength)) return true;
    }
  }
  return false;
}

void AppendUnits(LogLine& line, const WideChar* text, std::size_t length) {
  line.Text(text, length);
}

}  // namespace

void AppendWithSecretsMasked(LogLine& line, const WideChar* commandText) {
  const WideChar* at = commandText != nullptr ? commandText : u"";
  while (*at != u'\0') {
    const WideChar* const blanks = at;
    while (IsBlank(*at)) ++at;
    AppendUnits(line, blanks, static_cast<std::size_t>(at - blanks));

    const WideChar* const word = at;
    const WideChar* equals = nullptr;
    bool quoted = false;
    for (; *at != u'\0' && (quoted || !IsBlank(*at)); ++at) {
      if (*at == u'"') quoted = !quoted;
      // "NAME=value" in quotes as a whole assigns as well as NAME="value".
      if (*at == u'=' && equals == nullptr) equals = at;
    }
    const auto nameLength = static_cast<std::size_t>((equals != nullptr ? equals : at) - word);
    if (equals != nullptr && NamesASecret(word, nameLength)) {
      AppendUnits(line, word, nameLength + 1);
      line << "********";
      // The closing quote of a word quoted as a whole keeps the line readable.
      if (word[0] == u'"' && at - 1 > equals && at[-1] == u'"') line << "\"";
    } else {
      AppendUnits(line, word, static_cast<std::size_t>(at - word));
    }
  }
}

}  // namespace setup
