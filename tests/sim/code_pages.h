// Text conversion between UTF-16 and the code pages the simulated machine
// knows (1252, 932, 65001 and whatever else glibc's iconv names "CP<n>"),
// giving the results Windows gives where glibc's tables differ.
#ifndef SETUP_TESTS_SIM_CODE_PAGES_H
#define SETUP_TESTS_SIM_CODE_PAGES_H

#include <cstdint>
#include <string>
#include <string_view>

namespace setup::sim {

constexpr std::uint32_t kCodePageUtf8 = 65001;

// Narrow bytes in `codePage` to UTF-16, as MultiByteToWideChar converts
// without MB_ERR_INVALID_CHARS: a sequence with no mapping becomes the code
// page's default character and sets `*hadInvalid`. False for a code page the
// machine does not know.
bool DecodeNarrow(std::uint32_t codePage, std::string_view bytes, std::u16string* text,
                  bool* hadInvalid);

// UTF-16 to narrow bytes in `codePage`, as WideCharToMultiByte converts
// with no default character given: a unit with no mapping becomes '?' and
// sets `*hadUnmappable`. Best-fit mappings are not modelled. False for a
// code page the machine does not know.
bool EncodeWide(std::uint32_t codePage, std::u16string_view text, std::string* bytes,
                bool* hadUnmappable);

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_CODE_PAGES_H
