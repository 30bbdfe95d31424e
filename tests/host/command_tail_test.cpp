#include "launcher/command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

struct TailCase {
  const char* commandLine;
  const char* expectedTail;
};

class CommandTailTest : public ::testing::TestWithParam<TailCase> {};

TEST_P(CommandTailTest, SkipsProgramNameAndLeadingBlanks) {
  const TailCase& c = GetParam();
  EXPECT_EQ(std::string(CommandTail(c.commandLine)), c.expectedTail)
      << "command line: [" << c.commandLine << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandTailTest,
    ::testing::Values(TailCase{"Setup.exe", ""}, TailCase{"Setup.exe   ", ""},
                      TailCase{"Setup.exe /qn", "/qn"},
                      TailCase{"Setup.exe \t /qn  PROP=1 ", "/qn  PROP=1 "},
                      TailCase{"\"C:\\Patch Files\\Setup.exe\" /qn", "/qn"},
                      TailCase{"\"C:\\Patch Files\\Setup.exe\"/qn",
                               ""},  // the name ends only at an unquoted blank
                      TailCase{"C:\\Pa\"tch Fi\"les\\Setup.exe /l*v x.log", "/l*v x.log"},
                      TailCase{"\"C:\\Patch Files\\Setup.exe", ""},
                      TailCase{"Setup.exe PROP=\"a b\" /qb", "PROP=\"a b\" /qb"},
                      TailCase{"Setup.exe\x01\x1f /q", "/q"},
                      TailCase{"Setup.exe \xe9t\xe9", "\xe9t\xe9"}, TailCase{"", ""}));

TEST(CommandTail, NoCommandLineGivesEmptyTail) { EXPECT_STREQ(CommandTail(nullptr), ""); }

TEST(CommandTail, PointsIntoTheGivenLine) {
  const char line[] = "Setup.exe /qn";
  EXPECT_EQ(CommandTail(line), line + 10);
}

}  // namespace
}  // namespace setup
