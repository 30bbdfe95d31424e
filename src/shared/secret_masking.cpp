#include "shared/secret_masking.h"

#include "platform/ascii_case.h"

namespace setup {

namespace {

// Broad on purpose: masking a harmless value costs nothing, a leaked one a credential (ADMINPASS,
// PASSPHRASE, PRODUCTKEY, LICENSEKEY, CREDENTIAL...).
constexpr const WideChar* kSecretMarks[] = {u"PASS", u"PWD", u"SECRET", u"TOKEN", u"KEY", u"CRED"};

bool IsBlank(WideChar unit) { return unit == u' ' || unit == u'\t'; }

bool NamesASecret(const WideChar* name, std::size_t length) {
  for (const WideChar* mark : kSecretMarks) {
    const std::size_t markLength = TextLength(mark);
    for (std::size_t start = 0; start + markLength <= length; ++start) {
      if (EqualsIgnoringAsciiCase(name + start, mark, markLength)) return true;
    }
  }
  return false;
}

// A secret's value runs to the next blank outside quotes, not a tab: the installer ends a value at
// a blank only. Its quotes are kept, so they stay balanced; the rest is one mask. A blank from a
// variable ends nothing: whoever named the variable gave its whole value as the secret.
const WideChar* AppendMaskedValue(LogLine& line, const WideChar* text, const WideChar* at,
                                  bool quoted, const UnitsFromVariables* fromVariables) {
  const auto fromVariable = [&] {
    const auto unit = static_cast<std::size_t>(at - text);
    return fromVariables != nullptr && unit < fromVariables->size() && (*fromVariables)[unit];
  };
  bool masked = false;
  for (; *at != u'\0' && (quoted || *at != u' ' || fromVariable()); ++at) {
    if (*at == u'"') {
      quoted = !quoted;
      line << "\"";
    } else if (!masked) {
      line << "********";
      masked = true;
    }
  }
  return at;
}

}  // namespace

void AppendWithSecretsMasked(LogLine& line, const WideChar* commandText,
                             const UnitsFromVariables* fromVariables) {
  const WideChar* const text = commandText != nullptr ? commandText : u"";
  const WideChar* at = text;
  while (*at != u'\0') {
    const WideChar* const blanks = at;
    while (IsBlank(*at)) ++at;
    line.Text(blanks, static_cast<std::size_t>(at - blanks));

    const WideChar* const word = at;  // it ends at a blank outside double quotes
    for (bool quoted = false; *at != u'\0' && (quoted || !IsBlank(*at)); ++at) {
      if (*at == u'"') quoted = !quoted;
    }
    const WideChar* equals = word;
    bool quoted = false;
    for (; equals != at && *equals != u'='; ++equals) {
      if (*equals == u'"') quoted = !quoted;
    }
    const auto nameLength = static_cast<std::size_t>(equals - word);
    if (equals == at) {
      while (IsBlank(*equals)) ++equals;
      if (*equals != u'=') equals = nullptr;
    }
    if (equals == nullptr || !NamesASecret(word, nameLength)) {
      line.Text(word, static_cast<std::size_t>(at - word));
      continue;
    }
    const WideChar* value = equals + 1;
    while (!quoted && IsBlank(*value)) ++value;
    line.Text(word, static_cast<std::size_t>(value - word));
    at = AppendMaskedValue(line, text, value, quoted, fromVariables);
  }
}

}  // namespace setup
