// FakeMachine: ini files read through GetPrivateProfileStringW.
#include <algorithm>
#include <stdexcept>

#include "platform/bounded_text.h"
#include "sim/ascii_case.h"
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"

namespace setup::sim {
namespace {

std::u16string TextOrEmpty(const WideChar* text) {
  return text != nullptr ? std::u16string(text, TextLength(text)) : std::u16string();
}

}  // namespace

void FakeMachine::SetIniValue(const std::string& path, const std::u16string& section,
                              const std::u16string& key, const std::u16string& value) {
  SetIniValue(DecodeAnsi(path), section, key, value);
}

void FakeMachine::SetIniValue(const std::u16string& path, const std::u16string& section,
                              const std::u16string& key, const std::u16string& value) {
  FileEntry* file = files_.Find(path);
  if (file == nullptr) file = files_.Add(path, u"", false);
  if (file == nullptr || file->isFolder) {
    throw std::invalid_argument("not a file path: " + EncodeAnsi(path));
  }
  file->profile[FoldedKey(section)][FoldedKey(key)] = value;
}

std::uint32_t FakeMachine::GetPrivateProfileStringW(const WideChar* section, const WideChar* key,
                                                    const WideChar* defaultValue, WideChar* buffer,
                                                    std::uint32_t size,
                                                    const WideChar* fileName) noexcept {
  return Enter(Operation::GetPrivateProfileStringW, std::uint32_t{0}, [&]() -> std::uint32_t {
    if (buffer == nullptr || size == 0) return 0;
    // Listing sections or keys (a null section or key) is not modelled: the
    // launcher always names both.
    std::optional<std::u16string> found;
    const FileEntry* file = fileName != nullptr ? files_.Find(TextOrEmpty(fileName)) : nullptr;
    if (file != nullptr && !file->isFolder && section != nullptr && key != nullptr) {
      const auto sectionFound = file->profile.find(FoldedKey(TextOrEmpty(section)));
      if (sectionFound != file->profile.end()) {
        const auto keyFound = sectionFound->second.find(FoldedKey(TextOrEmpty(key)));
        if (keyFound != sectionFound->second.end()) found = keyFound->second;
      }
    }
    std::u16string text;
    if (found) {
      text = *found;
    } else if (section != nullptr && key != nullptr) {
      // Windows strips trailing blanks from the default.
      text = TextOrEmpty(defaultValue);
      while (!text.empty() && text.back() == u' ') text.pop_back();
    }
    const std::size_t copied = std::min<std::size_t>(text.size(), size - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(copied), buffer);
    buffer[copied] = u'\0';
    return static_cast<std::uint32_t>(copied);
  });
}

}  // namespace setup::sim
