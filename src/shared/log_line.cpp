#include "shared/log_line.h"

namespace setup {

void LogLine::Append(WideChar unit) {
  if (cut_) return;
  // Room is kept for the mark, so a cut line always shows it.
  if (text_.length() + kCutMarkUnits >= kUnits - 1) {
    static_cast<void>(text_.append(u"..."));
    cut_ = true;
    return;
  }
  static_cast<void>(text_.append(unit));
}

void LogLine::AppendVisible(WideChar unit) {
  // C1 controls (U+0085, next line, among them) and the line and paragraph separators end a line
  // for readers that follow Unicode's rules.
  const bool breaksOrControls =
      unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029;
  if (!breaksOrControls) {
    Append(unit);
    return;
  }
  // One event, one line: a control character is named, never written.
  const char* const name = unit == u'\n'   ? "<LF>"
                           : unit == u'\r' ? "<CR>"
                           : unit == u'\t' ? "<TAB>"
                           : unit == u'\0' ? "<NUL>"
                                           : nullptr;
  if (name != nullptr) {
    *this << name;
    return;
  }
  *this << "<U+";
  for (int shift = 12; shift >= 0; shift -= 4) Append(u"0123456789ABCDEF"[(unit >> shift) & 0xF]);
  Append(u'>');
}

LogLine& LogLine::operator<<(const WideChar* text) {
  for (const WideChar* at = text; at != nullptr && *at != u'\0'; ++at) AppendVisible(*at);
  return *this;
}

LogLine& LogLine::Text(const WideChar* text, std::size_t length) {
  for (std::size_t at = 0; at < length; ++at) AppendVisible(text[at]);
  return *this;
}

LogLine& LogLine::operator<<(const char* text) {
  // Unit by unit, never measured first: a measuring loop becomes an import of strlen.
  for (const char* at = text; at != nullptr && *at != '\0'; ++at) {
    AppendVisible(static_cast<WideChar>(static_cast<unsigned char>(*at)));
  }
  return *this;
}

LogLine& LogLine::Ascii(const char* text, std::size_t length) {
  for (std::size_t at = 0; at < length; ++at) {
    AppendVisible(static_cast<WideChar>(static_cast<unsigned char>(text[at])));
  }
  return *this;
}

LogLine& LogLine::operator<<(std::uint32_t number) {
  WideChar digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<WideChar>(u'0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0) Append(digits[--count]);
  return *this;
}

LogLine& LogLine::operator<<(int number) {
  if (number >= 0) return *this << static_cast<std::uint32_t>(number);
  Append(u'-');
  return *this << (0u - static_cast<std::uint32_t>(number));
}

}  // namespace setup
