// One line of the run log while it is being put together.
#ifndef SETUP_SHARED_LOG_LINE_H
#define SETUP_SHARED_LOG_LINE_H

#include <cstddef>
#include <cstdint>

#include "platform/bounded_text.h"
#include "platform/platform.h"

namespace setup {

// Pieces are appended as they come; a line that would outgrow its buffer is cut and ends in
// "...", so that a value of any length still leaves its line in the log. Control characters and
// line separators in text are written by name ("<LF>", "<CR>", "<TAB>", "<NUL>", else
// "<U+001B>", "<U+0085>", "<U+2028>"), so an event never runs over two lines.
class LogLine {
 public:
  // `text` may be null (written as nothing).
  LogLine& operator<<(const WideChar* text);
  // ASCII text, as the launcher's own words are.
  LogLine& operator<<(const char* text);
  LogLine& Ascii(const char* text, std::size_t length);
  LogLine& operator<<(std::uint32_t number);
  LogLine& operator<<(int number);
  // `length` units, zeros included.
  LogLine& Text(const WideChar* text, std::size_t length);

  const WideChar* c_str() const { return text_.c_str(); }
  std::size_t length() const { return text_.length(); }

 private:
  static constexpr std::size_t kUnits = 2048;
  static constexpr std::size_t kCutMarkUnits = 3;
  // Appends one unit unless the line is full; a full line gets its mark.
  void Append(WideChar unit);
  void AppendVisible(WideChar unit);

  BoundedText<WideChar, kUnits> text_;
  bool cut_ = false;
};

}  // namespace setup

#endif  // SETUP_SHARED_LOG_LINE_H
