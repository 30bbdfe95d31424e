#include "platform/heap_text.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/bounded_text.h"

namespace setup {

HeapText::~HeapText() { std::free(data_); }

HeapText::HeapText(HeapText&& other) noexcept { *this = static_cast<HeapText&&>(other); }

HeapText& HeapText::operator=(HeapText&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    length_ = std::exchange(other.length_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

WideChar* HeapText::make_room(std::size_t capacity) {
  clear();
  if (capacity >= static_cast<std::size_t>(-1) / sizeof(WideChar) - 1) return nullptr;
  data_ = static_cast<WideChar*>(std::calloc(capacity + 1, sizeof(WideChar)));
  if (data_ == nullptr) return nullptr;
  capacity_ = capacity;
  return data_;
}

void HeapText::set_length(std::size_t length) {
  length_ = length < capacity_ ? length : capacity_;
  if (data_ != nullptr) data_[length_] = u'\0';
}

bool HeapText::assign(const WideChar* text) {
  const std::size_t length = TextLength(text);
  // `text` may live in this object's own room.
  HeapText copy;
  WideChar* const room = copy.make_room(length);
  if (room == nullptr) {
    clear();
    return false;
  }
  std::memcpy(room, text, length * sizeof(WideChar));
  copy.set_length(length);
  *this = static_cast<HeapText&&>(copy);
  return true;
}

void HeapText::clear() {
  std::free(data_);
  data_ = nullptr;
  length_ = 0;
  capacity_ = 0;
}

}  // namespace setup
