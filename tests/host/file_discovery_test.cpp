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

TEST_F(FileDiscoveryTest, PathsDropTheTrailingBackslash) {
  EXPECT_EQ(std::u16string(run.SourceFolderPath.c_str()), u"C:\\PATCHF~1");
  EXPECT_EQ(std::u16string(FilesFolderPath(run).c_str()), u"C:\\PATCHF~1\\Files\\");
}

TEST_F(FileDiscoveryTest, PatchSearchPassesTheDoubledBackslashUnchanged) {
  AddPatchFile("Hostrel_Update.msp");
  EXPECT_EQ(std::u16string(FindPatchPackageName(machine, run).c_str()), u"Hostrel_Update.msp");
  ASSERT_EQ(machine.FindPatterns().size(), 1u);
  EXPECT_EQ(machine.FindPatterns()[0], "C:\\PATCHF~1\\Files\\\\*.msp");
}

TEST_F(FileDiscoveryTest, FirstMatchInThePlatformsOrderWins) {
  AddPatchFile("b_Hostrel.msp");
  AddPatchFile("a_Tessel.msp");
  EXPECT_EQ(std::u16string(FindPatchPackageName(machine, run).c_str()), u"b_Hostrel.msp");
  machine.PutFirstInSearchOrder(std::string(testing::kPatchFolder) + "\\Files\\a_Tessel.msp");
  EXPECT_EQ(std::u16string(FindPatchPackageName(machine, run).c_str()), u"a_Tessel.msp");
}

TEST_F(FileDiscoveryTest, NoMatchLeavesTheNameUntouched) {
  WidePath name;
  ASSERT_TRUE(name.assign(u"before"));
  EXPECT_FALSE(FindFirstMatch(machine, u"C:\\PATCHF~1", kInstallerDatabasePattern, name));
  EXPECT_EQ(std::u16string(name.c_str()), u"before");
  EXPECT_EQ(std::u16string(FindPatchPackageName(machine, run).c_str()), u"");
}

TEST_F(FileDiscoveryTest, SearchPathThatDoesNotFitFindsNothing) {
  AddPatchFile("Hostrel_Update.msp");
  const std::u16string folder = u"C:\\PATCHF~1\\Files\\" + std::u16string(250, u'\\');
  WidePath name;
  EXPECT_FALSE(FindFirstMatch(machine, folder.c_str(), kPatchPackagePattern, name));
  EXPECT_TRUE(machine.FindPatterns().empty()) << "nothing may be searched for a cut path";
}

TEST_F(FileDiscoveryTest, NoSourceFolderGivesNoPaths) {
  run = RunState{};
  AddPatchFile("Hostrel_Update.msp");
  EXPECT_EQ(std::u16string(run.SourceFolderPath.c_str()), u"");
  EXPECT_EQ(std::u16string(FilesFolderPath(run).c_str()), u"");
  EXPECT_EQ(std::u16string(FindPatchPackageName(machine, run).c_str()), u"");
}

TEST_F(FileDiscoveryTest, SourceFolderPathThatDoesNotFitIsEmpty) {
  StartInFolderTooDeepForAPath();
  CaptureSourceFolder(machine, run);
  EXPECT_EQ(run.SourceFolder.length(), 305u);
  EXPECT_EQ(std::u16string(run.SourceFolderPath.c_str()), u"");
}

}  // namespace
}  // namespace setup
