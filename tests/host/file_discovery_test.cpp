#include "discovery/file_discovery.h"

#include <string>

#include "patch_folder.h"

namespace setup {
namespace {

using testing::PatchFolderTest;

class FileDiscoveryTest : public PatchFolderTest {
 protected:
  FileDiscoveryTest() { CaptureSourceFolder(machine, run); }
};

TEST_F(FileDiscoveryTest, NarrowPathsDropTheTrailingBackslash) {
  EXPECT_STREQ(run.NarrowSourceFolder.c_str(), "C:\\PATCHF~1");
  EXPECT_STREQ(NarrowFilesFolder(run).c_str(), "C:\\PATCHF~1\\Files\\");
}

TEST_F(FileDiscoveryTest, PatchSearchPassesTheDoubledBackslashUnchanged) {
  AddPatchFile("Hostrel_Update.msp");
  EXPECT_STREQ(FindPatchPackageName(machine, run).c_str(), "Hostrel_Update.msp");
  ASSERT_EQ(machine.FindPatterns().size(), 1u);
  EXPECT_EQ(machine.FindPatterns()[0], "C:\\PATCHF~1\\Files\\\\*.msp");
}

TEST_F(FileDiscoveryTest, FirstMatchInThePlatformsOrderWins) {
  AddPatchFile("b_Hostrel.msp");
  AddPatchFile("a_Tessel.msp");
  EXPECT_STREQ(FindPatchPackageName(machine, run).c_str(), "b_Hostrel.msp");
  machine.PutFirstInSearchOrder(std::string(testing::kPatchFolder) + "\\Files\\a_Tessel.msp");
  EXPECT_STREQ(FindPatchPackageName(machine, run).c_str(), "a_Tessel.msp");
}

TEST_F(FileDiscoveryTest, NoMatchLeavesTheNameUntouched) {
  NarrowPath name;
  ASSERT_TRUE(name.assign("before"));
  EXPECT_FALSE(FindFirstMatch(machine, "C:\\PATCHF~1", kInstallerDatabasePattern, name));
  EXPECT_STREQ(name.c_str(), "before");
  EXPECT_STREQ(FindPatchPackageName(machine, run).c_str(), "");
}

TEST_F(FileDiscoveryTest, SearchPathThatDoesNotFitFindsNothing) {
  AddPatchFile("Hostrel_Update.msp");
  const std::string folder = "C:\\PATCHF~1\\Files\\" + std::string(250, '\\');
  NarrowPath name;
  EXPECT_FALSE(FindFirstMatch(machine, folder.c_str(), kPatchPackagePattern, name));
  EXPECT_TRUE(machine.FindPatterns().empty()) << "nothing may be searched for a cut path";
}

TEST_F(FileDiscoveryTest, NoSourceFolderGivesNoPaths) {
  run = RunState{};
  AddPatchFile("Hostrel_Update.msp");
  EXPECT_STREQ(run.NarrowSourceFolder.c_str(), "");
  EXPECT_STREQ(NarrowFilesFolder(run).c_str(), "");
  EXPECT_STREQ(FindPatchPackageName(machine, run).c_str(), "");
}

TEST_F(FileDiscoveryTest, NarrowSourceFolderThatDoesNotFitIsEmpty) {
  StartInFolderTooDeepForNarrowPath();
  CaptureSourceFolder(machine, run);
  EXPECT_EQ(run.SourceFolder.length(), 305u);
  EXPECT_STREQ(run.NarrowSourceFolder.c_str(), "");
}

}  // namespace
}  // namespace setup
