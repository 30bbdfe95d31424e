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
  EXPECT_EQ(std::u16string(text.c_str()), u"") << u"an empty text still reads as text";
  WideChar* room = text.make_room(4);
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(std::u16string(room, 5), std::u16string(5, u'\0')) << u"room and terminator zeroed";
  room[0] = u'a';
  room[1] = u'b';
  text.set_length(10);
  EXPECT_EQ(text.size(), 4u) << u"a length past the room is cut to it";
  text.set_length(2);
  EXPECT_EQ(std::u16string(text.c_str()), u"ab");
  EXPECT_EQ(text.make_room(static_cast<std::size_t>(-1)), nullptr) << u"no room beyond memory";
  EXPECT_TRUE(text.empty());
}

TEST(HeapTextTest, CopiesAndMovesOwnTheirBytes) {
  HeapText text;
  ASSERT_TRUE(text.assign(u"C:\\PATCHF~1\\Files\\1031.mst"));
  ASSERT_TRUE(text.assign(text.c_str() + 12)) << u"assigning a part of itself";
  EXPECT_EQ(std::u16string(text.c_str()), u"Files\\1031.mst");
  HeapText moved = std::move(text);
  EXPECT_EQ(std::u16string(moved.c_str()), u"Files\\1031.mst");
  EXPECT_TRUE(text.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty
  HeapText same;
  ASSERT_TRUE(same.assign(u"Files\\1031.mst"));
  EXPECT_EQ(std::u16string(same.c_str(), same.size()), std::u16string(moved.c_str(), moved.size()));
  ASSERT_TRUE(same.assign(u"Files\\1031.ms"));
  EXPECT_NE(std::u16string(same.c_str(), same.size()), std::u16string(moved.c_str(), moved.size()))
      << "a prefix is another text";
}

TEST(AsciiCaseTest, ContainsAndEndsWithIgnoreOnlyAsciiCase) {
  EXPECT_TRUE(ContainsIgnoringAsciiCase(u"C:\\X\\FILES\\1031.MST;:1033.mst", u"1031.mst"));
  EXPECT_TRUE(ContainsIgnoringAsciiCase(u"abc", u""));
  EXPECT_FALSE(ContainsIgnoringAsciiCase(u"1031.ms", u"1031.mst")) << u"cut short at the end";
  EXPECT_FALSE(
      ContainsIgnoringAsciiCase(u"\u00c4"
                                u"1031.mst",
                                u"\u00e4"
                                u"1031.mst"))
      << u"letters outside ASCII keep their case";
  EXPECT_TRUE(EndsWithIgnoringAsciiCase(u"C:\\OLD\\files\\1033.MST", u"\\Files\\1033.mst"));
  EXPECT_FALSE(EndsWithIgnoringAsciiCase(u"1033.mst", u"\\Files\\1033.mst")) << u"shorter text";
  EXPECT_FALSE(EndsWithIgnoringAsciiCase(u"C:\\Files\\1033.mst;x", u"\\Files\\1033.mst"));
}

}  // namespace
}  // namespace setup
