#include "launcher/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

struct TailCase {
  const char16_t* commandLine;
  const char16_t* expectedTail;
};

class CommandTailTest : public ::testing::TestWithParam<TailCase> {};

TEST_P(CommandTailTest, SkipsProgramNameAndLeadingBlanks) {
  const TailCase& c = GetParam();
  EXPECT_EQ(std::u16string(CommandTail(c.commandLine)), c.expectedTail)
      << "command line: [" << ::testing::PrintToString(std::u16string(c.commandLine)) << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandTailTest,
    ::testing::Values(TailCase{u"Setup.exe", u""}, TailCase{u"Setup.exe   ", u""},
                      TailCase{u"Setup.exe /qn", u"/qn"},
                      TailCase{u"Setup.exe \t /qn  PROP=1 ", u"/qn  PROP=1 "},
                      TailCase{u"\"C:\\Patch Files\\Setup.exe\" /qn", u"/qn"},
                      TailCase{u"\"C:\\Patch Files\\Setup.exe\"/qn",
                               u""},  // the name ends only at an unquoted blank
                      TailCase{u"C:\\Pa\"tch Fi\"les\\Setup.exe /l*v x.log", u"/l*v x.log"},
                      TailCase{u"\"C:\\Patch Files\\Setup.exe", u""},
                      TailCase{u"Setup.exe PROP=\"a b\" /qb", u"PROP=\"a b\" /qb"},
                      TailCase{u"Setup.exe\x01\x1f/q", u"/q"},
                      TailCase{u"Setup.exe \u00e9t\u00e9", u"\u00e9t\u00e9"}, TailCase{u"", u""}));

TEST(CommandTail, NoCommandLineGivesEmptyTail) { EXPECT_EQ(*CommandTail(nullptr), u'\0'); }

TEST(CommandTail, PointsIntoTheGivenLine) {
  const char16_t line[] = u"Setup.exe /qn";
  EXPECT_EQ(CommandTail(line), line + 10);
}

}  // namespace
}  // namespace setup
