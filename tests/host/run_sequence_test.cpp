#include "launcher/run_sequence.h"

#include <algorithm>
#include <optional>
#include <string>

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
            u"/D /E:ON /V:OFF /C C:\\windows\\system32\\msiexec.exe /p "
            u"C:\\PATCHF~1\\Files\\Hostrel_Update.msp"
            u" REINSTALL=ALL /qn  REBOOT=ReallySuppress");
  EXPECT_EQ(machine.ProcessStarts()[0].currentDirectory, u"C:\\PATCHF~1\\");
}

// Facts are gathered once: Files is listed once, and the product's key is
// opened three times at most (identification, redirection, restore).
TEST_F(RunSequenceTest, ANormalRunListsFilesOnceAndOpensTheKeyThreeTimes) {
  AddPatchFile("Hostrel_Update.msp");
  machine.SetString("Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B", "Transforms",
                    ":1031.mst");
  EXPECT_EQ(RunSetup(machine, run), 0u);
  const auto& patterns = machine.FindPatterns();
  EXPECT_EQ(std::count(patterns.begin(), patterns.end(), "C:\\PATCHF~1\\Files\\\\*.msp"), 1);
  EXPECT_LE(machine.CallCount(sim::Operation::RegOpenKeyExW), 3u);
  EXPECT_EQ(machine.CallCount(sim::Operation::RegOpenKeyExW), 3u) << "the count to report";
}

TEST_F(RunSequenceTest, ExitStatusIsTheInstallersStatus) {
  AddPatchFile("Hostrel_Update.msp");
  machine.QueueChild([](FakeMachine&) { return 1603u; });
  EXPECT_EQ(RunSetup(machine), 1603u) << "a failed patch must not end as success";
}

// Cut at the break, the installer would run with other arguments than the
// deployment gave; refused before the registry is touched.
TEST_F(RunSequenceTest, ArgumentsWithALineBreakChangeAndStartNothing) {
  AddPatchFile("Hostrel_Update.msp");
  const std::string key = "Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B";
  machine.SetString(key, "Transforms", u":1031.mst");
  machine.SetCommandLine(u"\"C:\\Patch Files\\Setup.exe\" /qn X=a\nREINSTALLMODE=amus");
  EXPECT_EQ(RunSetup(machine), ERROR_INVALID_COMMAND_LINE);
  EXPECT_TRUE(machine.ProcessStarts().empty());
  EXPECT_EQ(machine.CallCount(sim::Operation::RegSetValueExW), 0u);
  EXPECT_EQ(machine.GetWideString(key, "Transforms"), u":1031.mst");
}

// Text of any language comes through a whole run unchanged: the product's
// own value and an interrupted run's backup, the passed-on arguments, and
// folders whose names the ANSI code page spells badly or not at all.
struct WholeTextCase {
  const char* what;
  std::uint32_t systemCodePage;
  std::uint32_t threadCodePage;
  std::u16string folder;  // the patch folder, no short names unless 8.3 already
  std::u16string tail;    // after the program name
  std::u16string own;     // the product's own Transforms
  std::u16string backup;  // an interrupted run's TransformsBackup, when not empty
  std::u16string patchPath;
};

class WholeTextTest : public ::testing::TestWithParam<WholeTextCase> {};

TEST_P(WholeTextTest, ComesThroughTheRunUnchanged) {
  const WholeTextCase& c = GetParam();
  FakeMachine machine;
  machine.SetSystemCodePage(c.systemCodePage);
  machine.SetThreadCodePage(c.threadCodePage);
  machine.SetShortNamesAvailable(false);
  machine.AddFolder(c.folder + u"\\Files");
  machine.AddFile(c.folder + u"\\Files\\Hostrel_Update.msp");
  machine.SetCurrentDirectory(c.folder);
  machine.SetCommandLine(u"\"" + c.folder + u"\\Setup.exe\" " + c.tail);
  const std::string key = "Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B";
  machine.SetString(key, "Transforms", c.backup.empty() ? c.own : c.folder + u"\\Files\\1031.mst");
  if (!c.backup.empty()) machine.SetString(key, "TransformsBackup", c.backup);
  std::optional<std::u16string> during;
  machine.QueueChild([&](FakeMachine& m) {
    during = m.GetWideString(key, "Transforms");
    return 0u;
  });

  EXPECT_EQ(RunSetup(machine), 0u);
  ASSERT_EQ(machine.ProcessStarts().size(), 1u);
  EXPECT_EQ(machine.ProcessStarts()[0].commandLine,
            u"/D /E:ON /V:OFF /C C:\\windows\\system32\\msiexec.exe /p " + c.patchPath +
                u" REINSTALL=ALL " + c.tail);
  EXPECT_EQ(during, c.folder + u"\\Files\\1031.mst") << "the redirection names the folder";
  EXPECT_EQ(machine.GetWideString(key, "Transforms"), c.backup.empty() ? c.own : c.backup);
  EXPECT_FALSE(machine.HasValue(key, "TransformsBackup"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, WholeTextTest,
    ::testing::Values(WholeTextCase{"own value outside code page 1252", 1252, 1252, u"C:\\PATCH",
                                    u"/qn", u"C:\\\u0141\u00f3d\u017a Files\\1031.mst", u"",
                                    u"C:\\PATCH\\Files\\Hostrel_Update.msp"},
                      WholeTextCase{"interrupted run's backup outside code page 932", 932, 932,
                                    u"C:\\PATCH", u"/qn", u"",
                                    u"C:\\\u0141\u00f3d\u017a Files\\1031.mst",
                                    u"C:\\PATCH\\Files\\Hostrel_Update.msp"},
                      WholeTextCase{"argument outside the code page", 1252, 1252, u"C:\\PATCH",
                                    u"/qn TARGETDIR=C:\\\u0141\u00f3d\u017a", u":1031.mst", u"",
                                    u"C:\\PATCH\\Files\\Hostrel_Update.msp"},
                      WholeTextCase{"argument under a thread code page other than the system's",
                                    1252, 932, u"C:\\PATCH", u"/qn TARGETDIR=C:\\B\u00fccher",
                                    u":1031.mst", u"", u"C:\\PATCH\\Files\\Hostrel_Update.msp"},
                      WholeTextCase{"folder ending in a character whose second byte is a backslash",
                                    932, 932, u"C:\\\u4e88\u5b9a\u8868", u"/qn", u":1031.mst", u"",
                                    u"C:\\\u4e88\u5b9a\u8868\\Files\\Hostrel_Update.msp"},
                      WholeTextCase{"folder outside the code page without short names", 1252, 1252,
                                    u"C:\\\u0141\u00f3d\u017a", u"/qn", u":1031.mst", u"",
                                    u"C:\\\u0141\u00f3d\u017a\\Files\\Hostrel_Update.msp"}));

}  // namespace
}  // namespace setup
