// UTF-16 text of any length on the heap, for registry values: no fixed
// buffer to overflow, and no exceptions, so Setup.exe needs none of the
// standard library's string machinery. Running out of memory is a status.
#ifndef SETUP_PLATFORM_HEAP_TEXT_H
#define SETUP_PLATFORM_HEAP_TEXT_H

#include <cstddef>

#include "platform/platform.h"

namespace setup {

class HeapText {
 public:
  HeapText() = default;
  ~HeapText();
  HeapText(HeapText&& other) noexcept;
  HeapText& operator=(HeapText&& other) noexcept;
  HeapText(const HeapText&) = delete;
  HeapText& operator=(const HeapText&) = delete;

  // Empties the text and makes room for `capacity` units plus a terminator,
  // all zero. Returns the room, or null (the text then empty) when memory
  // runs out.
  WideChar* make_room(std::size_t capacity);
  // Ends the text after `length` units of the room, at most its capacity.
  void set_length(std::size_t length);
  // Copies `text` up to its terminator. False, the text then empty, when
  // memory runs out.
  bool assign(const WideChar* text);
  void clear();

  // Never null: the empty text has no room of its own.
  const WideChar* c_str() const { return data_ != nullptr ? data_ : u""; }
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }

 private:
  WideChar* data_ = nullptr;
  std::size_t length_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_HEAP_TEXT_H
