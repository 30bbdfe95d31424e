#include "sim/code_pages.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace setup::sim {
namespace {

constexpr std::uint32_t kWesternCodePage = 1252;
constexpr std::uint32_t kJapaneseCodePage = 932;

// One iconv conversion descriptor, closed with its scope.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(descriptor_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool valid() const { return descriptor_ != Invalid(); }

  // Converts from `*input` on, appending to `output`, until the input ends
  // (returns true) or a sequence cannot be converted (returns false, with
  // `*input` at that sequence). The shift state is reset afterwards.
  bool Convert(std::string_view* input, std::string* output) {
    bool complete = true;
    while (!input->empty()) {
      char chunk[64];
      char* out = chunk;
      std::size_t outLeft = sizeof chunk;
      // iconv's interface takes a non-const input pointer but never writes through it.
      char* in = const_cast<char*>(input->data());
      std::size_t inLeft = input->size();
      const std::size_t result = iconv(descriptor_, &in, &inLeft, &out, &outLeft);
      const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
      input->remove_prefix(input->size() - inLeft);
      output->append(chunk, static_cast<std::size_t>(out - chunk));
      if (error != 0 && error != E2BIG) {
        complete = false;
        break;
      }
    }
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
    return complete;
  }

 private:
  static iconv_t Invalid() { return reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1)); }
  iconv_t descriptor_;
};

std::string IconvName(std::uint32_t codePage) {
  if (codePage == kCodePageUtf8) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

// What Windows makes of a narrow sequence that glibc's table rejects.
struct Substitute {
  char16_t unit;
  std::size_t length;  // bytes consumed
  bool invalid;        // false where Windows has a mapping glibc lacks
};

bool IsShiftJisLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsShiftJisTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

Substitute SubstituteFor(std::uint32_t codePage, std::string_view bytes) {
  const auto first = static_cast<unsigned char>(bytes[0]);
  if (codePage == kWesternCodePage) {
    // 81 8D 8F 90 9D are undefined in 1252; Windows maps them to the C1
    // controls of the same value.
    return {static_cast<char16_t>(first), 1, false};
  }
  if (codePage == kJapaneseCodePage) {
    if (first == 0x80) return {u'\u0080', 1, false};
    if (first == 0xA0) return {u'\uF8F0', 1, false};
    if (first >= 0xFD) return {static_cast<char16_t>(0xF8F1 + (first - 0xFD)), 1, false};
    const bool pair = IsShiftJisLead(first) && bytes.size() >= 2 &&
                      IsShiftJisTrail(static_cast<unsigned char>(bytes[1]));
    return {u'\u30FB', pair ? std::size_t{2} : std::size_t{1}, true};
  }
  if (codePage == kCodePageUtf8) return {u'\uFFFD', 1, true};
  return {u'?', 1, true};
}

// The byte Windows gives for a unit glibc's table cannot encode, if any.
bool ReverseSubstitute(std::uint32_t codePage, char16_t unit, char* byte) {
  if (codePage == kWesternCodePage &&
      (unit == 0x81 || unit == 0x8D || unit == 0x8F || unit == 0x90 || unit == 0x9D)) {
    *byte = static_cast<char>(unit);
    return true;
  }
  if (codePage == kJapaneseCodePage) {
    if (unit == 0x80) {
      *byte = static_cast<char>(0x80);
      return true;
    }
    if (unit >= 0xF8F0 && unit <= 0xF8F3) {
      *byte = static_cast<char>(unit == 0xF8F0 ? 0xA0 : 0xFD + (unit - 0xF8F1));
      return true;
    }
  }
  return false;
}

void AppendLittleEndian(char16_t unit, std::string* bytes) {
  bytes->push_back(static_cast<char>(unit & 0xFF));
  bytes->push_back(static_cast<char>(unit >> 8));
}

bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

bool DecodeNarrow(std::uint32_t codePage, std::string_view bytes, std::u16string* text,
                  bool* hadInvalid) {
  Iconv converter("UTF-16LE", IconvName(codePage).c_str());
  if (!converter.valid()) return false;
  *hadInvalid = false;
  std::string utf16;
  while (!converter.Convert(&bytes, &utf16)) {
    const Substitute substitute = SubstituteFor(codePage, bytes);
    AppendLittleEndian(substitute.unit, &utf16);
    *hadInvalid = *hadInvalid || substitute.invalid;
    bytes.remove_prefix(substitute.length);
  }
  text->clear();
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
    const auto low = static_cast<unsigned char>(utf16[i]);
    const auto high = static_cast<unsigned char>(utf16[i + 1]);
    text->push_back(static_cast<char16_t>(low | (high << 8)));
  }
  return true;
}

bool EncodeWide(std::uint32_t codePage, std::u16string_view text, std::string* bytes,
                bool* hadUnmappable) {
  Iconv converter(IconvName(codePage).c_str(), "UTF-16LE");
  if (!converter.valid()) return false;
  *hadUnmappable = false;
  bytes->clear();
  // Unit by unit: outside UTF-8 Windows replaces each unit of an
  // unconvertible surrogate pair on its own.
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    std::string units;
    AppendLittleEndian(unit, &units);
    const bool pair = codePage == kCodePageUtf8 && IsHighSurrogate(unit) && i + 1 < text.size() &&
                      IsLowSurrogate(text[i + 1]);
    if (pair) AppendLittleEndian(text[++i], &units);
    std::string_view input(units);
    std::string converted;
    char substitute = 0;
    if ((!IsSurrogate(unit) || pair) && converter.Convert(&input, &converted)) {
      bytes->append(converted);
    } else if (ReverseSubstitute(codePage, unit, &substitute)) {
      bytes->push_back(substitute);
    } else {
      bytes->append(codePage == kCodePageUtf8 ? "\xEF\xBF\xBD" : "?");
      *hadUnmappable = true;
    }
  }
  return true;
}

}  // namespace setup::sim
