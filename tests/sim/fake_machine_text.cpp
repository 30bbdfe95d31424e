// FakeMachine: message boxes and the system language.
#include <algorithm>
#include <cstring>

#include "platform/bounded_text.h"
#include "sim/code_pages.h"
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"

namespace setup::sim {
namespace {

std::u16string TextOrEmpty(const WideChar* text) {
  return text != nullptr ? std::u16string(text, TextLength(text)) : std::u16string();
}

}  // namespace

void FakeMachine::SetMessageBoxResult(int result) { messageBoxResult_ = result; }

void FakeMachine::SetSystemLanguage(std::uint16_t language) { language_ = language; }

int FakeMachine::MessageBoxW(WindowHandle owner, const WideChar* text, const WideChar* caption,
                             std::uint32_t style) noexcept {
  return Enter(Operation::MessageBoxW, 0, [&] {
    messageBoxes_.push_back({owner, TextOrEmpty(text), TextOrEmpty(caption), style});
    return messageBoxResult_;
  });
}

std::uint16_t FakeMachine::GetSystemDefaultLangID() noexcept {
  return Enter(Operation::GetSystemDefaultLangID, std::uint16_t{0}, [&] { return language_; });
}

}  // namespace setup::sim
