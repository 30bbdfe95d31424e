// FakeMachine: message boxes, the system language and code page conversion.
#include <algorithm>
#include <cstring>

#include "platform/bounded_text.h"
#include "sim/code_pages.h"
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"

namespace setup::sim {
namespace {

constexpr std::uint32_t kMbErrInvalidChars = 0x8;
constexpr std::uint32_t kWcErrInvalidChars = 0x80;

std::u16string TextOrEmpty(const WideChar* text) {
  return text != nullptr ? std::u16string(text, TextLength(text)) : std::u16string();
}

// Copies a conversion's result out under the rules both directions share:
// a target length of 0 asks for the units needed; a target too small gets
// what fits and the call fails with 0.
template <typename Unit, typename Text>
int DeliverConverted(const Text& converted, Unit* target, int targetLength) {
  const auto needed = static_cast<int>(converted.size());
  if (targetLength == 0) return needed;
  const std::size_t fits = std::min(converted.size(), static_cast<std::size_t>(targetLength));
  std::copy(converted.begin(), converted.begin() + static_cast<std::ptrdiff_t>(fits), target);
  return needed <= targetLength ? needed : 0;
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

int FakeMachine::MultiByteToWideChar(std::uint32_t codePage, std::uint32_t flags,
                                     const char* source, int sourceLength, WideChar* target,
                                     int targetLength) noexcept {
  return Enter(Operation::MultiByteToWideChar, 0, [&]() -> int {
    if (source == nullptr || sourceLength == 0 || targetLength < 0 ||
        (target == nullptr && targetLength > 0)) {
      return 0;
    }
    const std::uint32_t resolved = ResolveCodePage(codePage);
    // UTF-8 takes no flag but MB_ERR_INVALID_CHARS.
    if (resolved == kCodePageUtf8 && (flags & ~kMbErrInvalidChars) != 0) return 0;
    // -1 (any negative length) converts up to and with the terminator.
    const std::size_t count =
        sourceLength < 0 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
    std::u16string converted;
    bool hadInvalid = false;
    if (!DecodeNarrow(resolved, std::string_view(source, count), &converted, &hadInvalid)) return 0;
    if (hadInvalid && (flags & kMbErrInvalidChars) != 0) return 0;
    return DeliverConverted(converted, target, targetLength);
  });
}

int FakeMachine::WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags,
                                     const WideChar* source, int sourceLength, char* target,
                                     int targetLength) noexcept {
  return Enter(Operation::WideCharToMultiByte, 0, [&]() -> int {
    if (source == nullptr || sourceLength == 0 || targetLength < 0 ||
        (target == nullptr && targetLength > 0)) {
      return 0;
    }
    const std::uint32_t resolved = ResolveCodePage(codePage);
    // UTF-8 takes no flag but WC_ERR_INVALID_CHARS.
    if (resolved == kCodePageUtf8 && (flags & ~kWcErrInvalidChars) != 0) return 0;
    const std::size_t count =
        sourceLength < 0 ? TextLength(source) + 1 : static_cast<std::size_t>(sourceLength);
    std::string converted;
    bool hadUnmappable = false;
    if (!EncodeWide(resolved, std::u16string_view(source, count), &converted, &hadUnmappable)) {
      return 0;
    }
    if (hadUnmappable && resolved == kCodePageUtf8 && (flags & kWcErrInvalidChars) != 0) return 0;
    return DeliverConverted(converted, target, targetLength);
  });
}

}  // namespace setup::sim
