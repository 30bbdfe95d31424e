#include "launcher/run_sequence.h"

#include "patch_folder.h"

namespace setup {
namespace {

using sim::FakeMachine;
using testing::PatchFolderTest;

// Hostrel_Update.msp for row 2's registered product.
class RunSequenceTest : public PatchFolderTest {
 protected:
  RunSequenceTest() { machine.AddKey("Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B"); }
};

TEST_F(RunSequenceTest, RunsTheInstallerWithTheProcessTailFromTheShortFolder) {
  AddPatchFile("Hostrel_Update.msp");
  machine.SetCommandLine("\"C:\\Patch Files\\Setup.exe\"  /qn  REBOOT=ReallySuppress");
  EXPECT_EQ(RunSetup(machine, run), 0u);
  ASSERT_EQ(machine.ProcessStarts().size(), 1u);
  EXPECT_EQ(machine.ProcessStarts()[0].commandLine,
            u"/C C:\\windows\\system32\\msiexec.exe /p C:\\PATCHF~1\\Files\\Hostrel_Update.msp"
            u" REINSTALL=ALL /qn  REBOOT=ReallySuppress");
  EXPECT_EQ(run.SourceFolder.c_str(), std::u16string(u"C:\\PATCHF~1\\"));
}

TEST_F(RunSequenceTest, ExitStatusIsTheInstallersStatus) {
  AddPatchFile("Hostrel_Update.msp");
  machine.QueueChild([](FakeMachine&) { return 1603u; });
  EXPECT_EQ(RunSetup(machine), 1603u) << "a failed patch must not end as success";
}

}  // namespace
}  // namespace setup
