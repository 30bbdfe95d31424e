// A fixed buffer of text that refuses to overflow.
//
// Every fixed buffer the launcher fills goes through this type. `Capacity`
// is the buffer's size in units, terminator included, exactly the size the
// platform is told; the text holds at most Capacity - 1 units. assign and
// append return false and leave the text unchanged when the result would not
// fit: overflow is an outcome the caller sees, never a silent truncation.
#ifndef SETUP_PLATFORM_BOUNDED_TEXT_H
#define SETUP_PLATFORM_BOUNDED_TEXT_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace setup {

// Length of a zero-terminated text.
template <typename Char>
std::size_t TextLength(const Char* text) {
  std::size_t length = 0;
  while (text[length] != Char{}) ++length;
  return length;
}

// Whether two zero-terminated texts are the same, unit for unit.
template <typename Char>
bool TextEquals(const Char* text, const Char* other) {
  while (*text != Char{} && *text == *other) {
    ++text;
    ++other;
  }
  return *text == *other;
}

template <typename Char, std::size_t Capacity>
class BoundedText {
  static_assert(Capacity > 0, "a buffer needs room for its terminator");

 public:
  BoundedText() = default;
  BoundedText(const BoundedText&) = default;
  BoundedText& operator=(const BoundedText&) = default;

  static constexpr std::size_t capacity() { return Capacity; }
  std::size_t length() const { return length_; }
  bool empty() const { return length_ == 0; }
  const Char* c_str() const { return units_; }
  Char operator[](std::size_t index) const { return units_[index]; }

  void clear() {
    length_ = 0;
    units_[0] = Char{};
  }

  bool assign(const Char* text) {
    clear();
    return append(text);
  }

  bool append(const Char* text) { return append(text, TextLength(text)); }

  bool append(const Char* text, std::size_t count) {
    if (count > Capacity - 1 - length_) return false;
    for (std::size_t i = 0; i < count; ++i) units_[length_ + i] = text[i];
    length_ += count;
    units_[length_] = Char{};
    return true;
  }

  template <std::size_t OtherCapacity>
  bool append(const BoundedText<Char, OtherCapacity>& other) {
    return append(other.c_str(), other.length());
  }

  bool append(Char unit) { return append(&unit, 1); }

  bool ends_with(Char unit) const { return length_ > 0 && units_[length_ - 1] == unit; }

  // For a platform call that writes the buffer. After it, call
  // adopt_written_text(), which takes the text up to the first terminator
  // and terminates the last unit should the call have left none.
  Char* writable_buffer() { return units_; }
  static constexpr std::uint32_t writable_size() { return static_cast<std::uint32_t>(Capacity); }
  void adopt_written_text() {
    units_[Capacity - 1] = Char{};
    length_ = TextLength(units_);
  }
  // For a call that reports the units it copied, or the size it would need
  // when the text does not fit (both reach the capacity then), 0 on failure:
  // takes the text and returns true when it fitted, else leaves it empty.
  bool adopt_reported_text(std::uint32_t reported) {
    if (reported == 0 || reported >= Capacity) {
      clear();
      return false;
    }
    adopt_written_text();
    return true;
  }

 private:
  Char units_[Capacity] = {};
  std::size_t length_ = 0;
};

// The fixed buffers of the launcher, named by what they hold.
constexpr std::size_t kMaxPath = 260;         // paths and names
constexpr std::size_t kLongTextUnits = 1000;  // source folder, command line, arguments

using WidePath = BoundedText<WideChar, kMaxPath>;
using WideLongText = BoundedText<WideChar, kLongTextUnits>;

}  // namespace setup

#endif  // SETUP_PLATFORM_BOUNDED_TEXT_H
