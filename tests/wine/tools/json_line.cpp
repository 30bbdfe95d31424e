#include "json_line.h"

namespace wine_tools {

void AppendJsonString(std::string& out, const std::wstring& text) {
  static const char kHexDigits[] = "0123456789abcdef";
  out += '"';
  for (const wchar_t unit : text) {
    const auto code = static_cast<std::uint32_t>(unit) & 0xFFFFu;
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code >= 0x20 && code < 0x7F) {
      out += static_cast<char>(code);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(code >> shift) & 0xFu];
    }
  }
  out += '"';
}

void JsonObject::StartMember(const char* name) {
  if (text_.size() > 1) text_ += ", ";
  text_ += '"';
  text_ += name;
  text_ += "\": ";
}

void JsonObject::AddString(const char* name, const std::wstring& value) {
  StartMember(name);
  AppendJsonString(text_, value);
}

void JsonObject::AddNumber(const char* name, std::uint64_t value) {
  StartMember(name);
  text_ += std::to_string(value);
}

void JsonObject::AddNull(const char* name) {
  StartMember(name);
  text_ += "null";
}

void JsonObject::AddJson(const char* name, const std::string& json) {
  StartMember(name);
  text_ += json;
}

}  // namespace wine_tools
