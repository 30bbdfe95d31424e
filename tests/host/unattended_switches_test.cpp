#include "launcher/unattended_switches.h"

#include <gtest/gtest.h>

namespace setup {
namespace {

struct SwitchCase {
  const char* tail;
  bool unattended;
};

class UnattendedSwitchesTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(UnattendedSwitchesTest, RecognisesUiLevelsWithoutModalDialogs) {
  EXPECT_EQ(RequestsUnattendedRun(GetParam().tail), GetParam().unattended)
      << "tail: [" << GetParam().tail << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnattendedSwitchesTest,
    ::testing::Values(
        // Silent and passive forms, any prefix and letter case.
        SwitchCase{"/q", true}, SwitchCase{"/qn", true}, SwitchCase{"-QN", true},
        SwitchCase{"/qn+", true}, SwitchCase{"/qn-", true}, SwitchCase{"/qn!", true},
        SwitchCase{"/q+!", true}, SwitchCase{"/Quiet", true}, SwitchCase{"-passive", true},
        SwitchCase{"/qb-", true}, SwitchCase{"/qb-!", true}, SwitchCase{"/QB!-", true},
        SwitchCase{"/qr-", true}, SwitchCase{"REBOOT=R /l*v log.txt /qn", true},
        SwitchCase{"\t/qn\t", true}, SwitchCase{"\"/qn\"", true},
        // Levels that end with a modal dialog, or are no UI switch at all.
        SwitchCase{"", false}, SwitchCase{"/qb", false}, SwitchCase{"/qb+", false},
        SwitchCase{"/qb!", false}, SwitchCase{"/qr", false}, SwitchCase{"/qf", false},
        SwitchCase{"/qf-", false}, SwitchCase{"/qx", false}, SwitchCase{"/qnx", false},
        SwitchCase{"/quieter", false}, SwitchCase{"q", false}, SwitchCase{"/", false},
        SwitchCase{"/l*v quiet.log", false}, SwitchCase{"PATH=C:\\q", false},
        SwitchCase{"PATH=/q", false}, SwitchCase{"PROP=\"a /qn b\"", false},
        SwitchCase{"TARGETDIR=\"C:\\a b\"/qn", false}, SwitchCase{"x/qn", false}));

TEST(UnattendedSwitches, NoTailIsAttended) { EXPECT_FALSE(RequestsUnattendedRun(nullptr)); }

}  // namespace
}  // namespace setup
