// Code page conversion as the launcher uses it for paths and messages.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "win32_fixtures.h"

namespace setup {
namespace {

constexpr std::uint32_t kWindows1252 = 1252;

struct Conversion {
  const char* what;
  std::string narrow;
  std::u16string wide;
};

class CodePageTest : public ::testing::Test {
 protected:
  std::u16string ToWide(std::uint32_t codePage, std::uint32_t flags, const std::string& text) {
    WideChar buffer[64] = {};
    const int units = platform_.MultiByteToWideChar(codePage, flags, text.c_str(), -1, buffer, 64);
    return units > 0 ? std::u16string(buffer, static_cast<std::size_t>(units - 1)) : u"<failed>";
  }
  std::string ToNarrow(std::uint32_t codePage, const std::u16string& text) {
    char buffer[64] = {};
    const int bytes = platform_.WideCharToMultiByte(codePage, 0, text.c_str(), -1, buffer, 64);
    return bytes > 0 ? std::string(buffer, static_cast<std::size_t>(bytes - 1)) : "<failed>";
  }

  Win32Platform platform_;
};

TEST_F(CodePageTest, Windows1252RoundTrips) {
  const Conversion cases[] = {
      {"ASCII path", "C:\\Patch Files\\a.msp", u"C:\\Patch Files\\a.msp"},
      {"Latin-1 letters", "\xC4nderung \xE9t\xE9", u"\u00C4nderung \u00E9t\u00E9"},
      {"bytes 0x80-0x9F", "\x80\x8A\x9F", u"\u20AC\u0160\u0178"},
  };
  for (const Conversion& c : cases) {
    EXPECT_EQ(c.wide, ToWide(kWindows1252, 0, c.narrow)) << c.what << ": to UTF-16";
    EXPECT_EQ(c.narrow, ToNarrow(kWindows1252, c.wide)) << c.what << ": back to 1252";
  }
}

TEST_F(CodePageTest, LengthsCountTheTerminatorAndASizingCallWritesNothing) {
  const char text[] = "Quarrix";
  EXPECT_EQ(8, platform_.MultiByteToWideChar(kWindows1252, 0, text, -1, nullptr, 0))
      << "units needed with -1, terminator included";
  EXPECT_EQ(7, platform_.MultiByteToWideChar(kWindows1252, 0, text, 7, nullptr, 0))
      << "units needed for an explicit length, no terminator";
  EXPECT_EQ(8, platform_.WideCharToMultiByte(kWindows1252, 0, u"Quarrix", -1, nullptr, 0))
      << "bytes needed with -1, terminator included";

  WideChar wide[4] = {};
  EXPECT_EQ(0, platform_.MultiByteToWideChar(kWindows1252, 0, text, -1, wide, 4))
      << "a target too small fails";
  char narrow[4] = {};
  EXPECT_EQ(0, platform_.WideCharToMultiByte(kWindows1252, 0, u"Quarrix", -1, narrow, 4))
      << "a target too small fails";
}

TEST_F(CodePageTest, ThreadCodePageMatchesTheSystemAnsiCodePage) {
  const std::uint32_t ansi = setup_test::AnsiCodePage();
  const std::string text = "C:\\Patch Files\\\xE9t\xE9.msp";
  EXPECT_EQ(ToWide(ansi, MB_PRECOMPOSED, text), ToWide(CP_THREAD_ACP, MB_PRECOMPOSED, text))
      << "CP_THREAD_ACP reads bytes as code page " << ansi;
  EXPECT_EQ(ToWide(ansi, 0, text), ToWide(CP_ACP, 0, text)) << "CP_ACP is code page " << ansi;
  EXPECT_EQ(u"C:\\Patch Files\\a.msp",
            ToWide(CP_THREAD_ACP, MB_PRECOMPOSED, "C:\\Patch Files\\a.msp"))
      << "ASCII passes unchanged";
}

TEST_F(CodePageTest, SystemLanguageIsAValidLanguageId) {
  const std::uint16_t language = platform_.GetSystemDefaultLangID();
  EXPECT_NE(0, language & 0x3FF) << "a primary language is set: 0x" << std::hex << language;
}

}  // namespace
}  // namespace setup
