#include "platform/bounded_text.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

TEST(BoundedText, HoldsCapacityMinusOneUnitsAndRefusesMore) {
  BoundedText<char, 5> text;
  EXPECT_TRUE(text.assign("abcd"));
  EXPECT_STREQ(text.c_str(), "abcd");
  EXPECT_FALSE(text.append('e')) << "a fifth unit leaves no room for the terminator";
  EXPECT_STREQ(text.c_str(), "abcd") << "a refused append must leave the text unchanged";

  EXPECT_TRUE(text.assign("ab"));
  EXPECT_FALSE(text.append("cde"));
  EXPECT_STREQ(text.c_str(), "ab");
  EXPECT_TRUE(text.append("cd"));
  EXPECT_EQ(text.length(), 4u);
}

TEST(BoundedText, RefusedAssignLeavesItEmpty) {
  BoundedText<char, 3> text;
  EXPECT_TRUE(text.assign("ab"));
  EXPECT_FALSE(text.assign("abc"));
  EXPECT_TRUE(text.empty());
}

TEST(BoundedText, AdoptsPlatformWrittenTextAndTerminatesAFullBuffer) {
  BoundedText<char, 4> text;
  char* buffer = text.writable_buffer();
  buffer[0] = 'x';
  buffer[1] = 'y';
  buffer[2] = 'z';
  buffer[3] = 'w';  // a writer that left no terminator
  text.adopt_written_text();
  EXPECT_STREQ(text.c_str(), "xyz");
  EXPECT_EQ(text.length(), 3u);
}

// A platform call reports the units copied, or the size it needs (which
// counts the terminator) when the buffer is too small; 0 is a failure.
TEST(BoundedText, AdoptsReportedTextOnlyWhenItFitted) {
  const struct {
    std::uint32_t reported;
    bool fitted;
  } cases[] = {{0, false}, {1, true}, {3, true}, {4, false}, {5, false}};
  for (const auto& c : cases) {
    BoundedText<char, 4> text;
    char* buffer = text.writable_buffer();
    for (char unit : {'a', 'b', 'c', 'd'}) *buffer++ = unit;  // as a truncating writer leaves it
    if (c.reported < 4) text.writable_buffer()[c.reported] = '\0';
    EXPECT_EQ(text.adopt_reported_text(c.reported), c.fitted) << c.reported;
    EXPECT_EQ(text.length(), c.fitted ? c.reported : 0u) << c.reported;
  }
}

TEST(BoundedText, EndsWith) {
  BoundedText<WideChar, 10> text;
  EXPECT_FALSE(text.ends_with(u'\\')) << "empty text ends with nothing";
  ASSERT_TRUE(text.assign(u"C:\\X\\"));
  EXPECT_TRUE(text.ends_with(u'\\'));
}

}  // namespace
}  // namespace setup
