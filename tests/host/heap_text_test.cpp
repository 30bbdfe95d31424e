// Text of any length without exceptions, and the case-blind comparisons
// the launcher makes on registry values.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/ascii_case.h"
#include "platform/heap_text.h"

namespace setup {
namespace {

TEST(HeapTextTest, RoomIsZeroedAndTheLengthStaysWithinIt) {
  HeapText text;
  EXPECT_STREQ(text.c_str(), "") << "an empty text still reads as text";
  char* room = text.make_room(4);
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(std::string(room, 5), std::string(5, '\0')) << "room and terminator zeroed";
  room[0] = 'a';
  room[1] = 'b';
  text.set_length(10);
  EXPECT_EQ(text.size(), 4u) << "a length past the room is cut to it";
  text.set_length(2);
  EXPECT_STREQ(text.c_str(), "ab");
  EXPECT_EQ(text.make_room(static_cast<std::size_t>(-1)), nullptr) << "no room beyond memory";
  EXPECT_TRUE(text.empty());
}

TEST(HeapTextTest, CopiesAndMovesOwnTheirBytes) {
  HeapText text;
  ASSERT_TRUE(text.assign("C:\\PATCHF~1\\Files\\1031.mst"));
  ASSERT_TRUE(text.assign(text.c_str() + 12)) << "assigning a part of itself";
  EXPECT_STREQ(text.c_str(), "Files\\1031.mst");
  HeapText moved = std::move(text);
  EXPECT_STREQ(moved.c_str(), "Files\\1031.mst");
  EXPECT_TRUE(text.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty
  HeapText same;
  ASSERT_TRUE(same.assign("Files\\1031.mst"));
  EXPECT_TRUE(same == moved);
  ASSERT_TRUE(same.assign("Files\\1031.ms"));
  EXPECT_TRUE(same != moved) << "a prefix is another text";
}

TEST(AsciiCaseTest, ContainsAndEndsWithIgnoreOnlyAsciiCase) {
  EXPECT_TRUE(ContainsIgnoringAsciiCase("C:\\X\\FILES\\1031.MST;:1033.mst", "1031.mst"));
  EXPECT_TRUE(ContainsIgnoringAsciiCase("abc", ""));
  EXPECT_FALSE(ContainsIgnoringAsciiCase("1031.ms", "1031.mst")) << "cut short at the end";
  EXPECT_FALSE(
      ContainsIgnoringAsciiCase("\xc4"
                                "1031.mst",
                                "\xe4"
                                "1031.mst"))
      << "letters outside ASCII keep their case";
  EXPECT_TRUE(EndsWithIgnoringAsciiCase("C:\\OLD\\files\\1033.MST", "\\Files\\1033.mst"));
  EXPECT_FALSE(EndsWithIgnoringAsciiCase("1033.mst", "\\Files\\1033.mst")) << "shorter text";
  EXPECT_FALSE(EndsWithIgnoringAsciiCase("C:\\Files\\1033.mst;x", "\\Files\\1033.mst"));
}

}  // namespace
}  // namespace setup
