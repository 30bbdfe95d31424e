// One JSON object on one line, built field by field.
//
// Text is written as pure ASCII: every UTF-16 unit outside printable ASCII
// becomes a \uXXXX escape, so what the reader gets back is exactly the
// units Windows gave, unpaired surrogates included.
#ifndef SETUP_TESTS_WINE_TOOLS_JSON_LINE_H
#define SETUP_TESTS_WINE_TOOLS_JSON_LINE_H

#include <cstdint>
#include <string>

namespace wine_tools {

// Appends `text` to `out` as a quoted, escaped JSON string.
void AppendJsonString(std::string& out, const std::wstring& text);

// Builds `{"name": value, ...}`. Names are ASCII literals chosen by the
// caller and are not escaped.
class JsonObject {
 public:
  // Adds a string member.
  void AddString(const char* name, const std::wstring& value);
  // Adds an unsigned number member.
  void AddNumber(const char* name, std::uint64_t value);
  // Adds a member whose value is null.
  void AddNull(const char* name);
  // Adds a member whose value is a finished JSON text (object, array).
  void AddJson(const char* name, const std::string& json);
  // The object as text, without a line end.
  std::string Text() const { return text_ + "}"; }

 private:
  void StartMember(const char* name);
  std::string text_ = "{";
};

}  // namespace wine_tools

#endif  // SETUP_TESTS_WINE_TOOLS_JSON_LINE_H
