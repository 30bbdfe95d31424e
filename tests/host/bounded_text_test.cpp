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

TEST(BoundedText, EndsWith) {
  BoundedText<WideChar, 10> text;
  EXPECT_FALSE(text.ends_with(u'\\')) << "empty text ends with nothing";
  ASSERT_TRUE(text.assign(u"C:\\X\\"));
  EXPECT_TRUE(text.ends_with(u'\\'));
}

}  // namespace
}  // namespace setup
