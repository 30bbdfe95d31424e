#include "launcher/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

struct SwitchCase {
  const char16_t* tail;
  bool unattended;
};

class UnattendedSwitchesTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(UnattendedSwitchesTest, RecognisesUiLevelsWithoutModalDialogs) {
  EXPECT_EQ(RequestsUnattendedRun(GetParam().tail), GetParam().unattended)
      << "tail: [" << ::testing::PrintToString(std::u16string(GetParam().tail)) << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnattendedSwitchesTest,
    ::testing::Values(
        // Silent and passive forms, any prefix and letter case.
        SwitchCase{u"/q", true}, SwitchCase{u"/qn", true}, SwitchCase{u"-QN", true},
        SwitchCase{u"/qn+", true}, SwitchCase{u"/qn-", true}, SwitchCase{u"/qn!", true},
        SwitchCase{u"/q+!", true}, SwitchCase{u"/Quiet", true}, SwitchCase{u"-passive", true},
        SwitchCase{u"/qb-", true}, SwitchCase{u"/qb-!", true}, SwitchCase{u"/QB!-", true},
        SwitchCase{u"/qr-", true}, SwitchCase{u"REBOOT=R /l*v log.txt /qn", true},
        SwitchCase{u"\t/qn\t", true}, SwitchCase{u"\"/qn\"", true},
        SwitchCase{u"/q+++++++++++++", true},  // 15 units: the longest a switch can be
        // Levels that end with a modal dialog, or are no UI switch at all.
        SwitchCase{u"", false}, SwitchCase{u"/qb", false}, SwitchCase{u"/qb+", false},
        SwitchCase{u"/qb!", false}, SwitchCase{u"/qr", false}, SwitchCase{u"/qf", false},
        SwitchCase{u"/qf-", false}, SwitchCase{u"/qx", false}, SwitchCase{u"/qnx", false},
        SwitchCase{u"/quieter", false}, SwitchCase{u"q", false}, SwitchCase{u"/", false},
        SwitchCase{u"/l*v quiet.log", false}, SwitchCase{u"PATH=C:\\q", false},
        SwitchCase{u"PATH=/q", false}, SwitchCase{u"PROP=\"a /qn b\"", false},
        SwitchCase{u"TARGETDIR=\"C:\\a b\"/qn", false}, SwitchCase{u"x/qn", false},
        SwitchCase{u"/q++++++++++++++", false}));

TEST(UnattendedSwitches, NoTailIsAttended) { EXPECT_FALSE(RequestsUnattendedRun(nullptr)); }

}  // namespace
}  // namespace setup
