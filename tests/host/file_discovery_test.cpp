#include "discovery/file_discovery.h"

#include <string>
#include <vector>

#include "patch_folder.h"

namespace setup {
namespace {

using testing::PatchFolderTest;

class FileDiscoveryTest : public PatchFolderTest {
 protected:
  FileDiscoveryTest() { CaptureFolder(); }

  // The patch package a fresh search finds.
  std::u16string Found() { return ListPatchPackages(machine, run, folder).chosen.c_str(); }

  std::u16string FilesFolder() const {
    WidePath path;
    static_cast<void>(folder.Join(path, {kFilesFolder}));
    return path.c_str();
  }
};

TEST_F(FileDiscoveryTest, PathsDropTheTrailingBackslash) {
  EXPECT_EQ(std::u16string(folder.path.c_str()), u"C:\\PATCHF~1");
  EXPECT_EQ(FilesFolder(), u"C:\\PATCHF~1\\Files\\");
}

TEST_F(FileDiscoveryTest, PatchSearchPassesTheDoubledBackslashUnchanged) {
  AddPatchFile("Hostrel_Update.msp");
  EXPECT_EQ(Found(), u"Hostrel_Update.msp");
  ASSERT_EQ(machine.FindPatterns().size(), 1u);
  EXPECT_EQ(machine.FindPatterns()[0], "C:\\PATCHF~1\\Files\\\\*.msp");
}

// The same package on every machine: the first by name, A to Z taken as a
// to z, whatever order the file system reports.
TEST_F(FileDiscoveryTest, FirstByNameWinsWhateverTheSearchOrder) {
  const struct {
    std::vector<const char*> names;  // in search order
    const char16_t* chosen;
  } cases[] = {
      {{"b_Hostrel.msp", "a_Tessel.msp"}, u"a_Tessel.msp"},
      {{"B.msp", "a.msp"}, u"a.msp"},
      {{"hostrel_9.msp", "Hostrel_10.msp"}, u"Hostrel_10.msp"},
      {{"Hostrel.msp", "Hostrel_1.msp"}, u"Hostrel.msp"},
      {{"_x.msp", "Ab.msp"}, u"_x.msp"},  // '_' after 'A', before 'a': ordinal on the lowered text
  };
  int order = 0;
  for (const auto& c : cases) {
    const std::string files = "C:\\Order" + std::to_string(++order) + "\\Files";
    machine.AddFolder(files);
    for (const char* name : c.names) machine.AddFile(files + "\\" + name);
    machine.SetCurrentDirectory(files.substr(0, files.size() - 6));
    CaptureFolder();
    const PatchPackages packages = ListPatchPackages(machine, run, folder);
    EXPECT_EQ(std::u16string(packages.chosen.c_str()), c.chosen) << c.names[0];
    EXPECT_EQ(packages.count, c.names.size());
  }
}

// Windows matches "*.msp" through short names (X~1.MSP for x.mspx) and
// reports folders as well: only a file whose long name ends in the
// extension is a package.
struct CandidateCase {
  const char* longName;
  const char* shortName;
  bool isFolder;
  const char16_t* pattern;
  bool taken;
};

class PackageCandidateTest : public FileDiscoveryTest,
                             public ::testing::WithParamInterface<CandidateCase> {};

TEST_P(PackageCandidateTest, OnlyFilesWithTheLongExtensionCount) {
  const CandidateCase& c = GetParam();
  const bool inFiles = std::u16string(c.pattern) == kPatchPackagePattern;
  const std::string where = std::string(testing::kPatchFolder) + (inFiles ? "\\Files\\" : "\\");
  if (c.isFolder) {
    machine.AddFolder(where + c.longName, c.shortName);
  } else {
    machine.AddFile(where + c.longName, c.shortName);
  }
  machine.AddFile(where + (inFiles ? "z_Tessel.msp" : "z.msi"));
  const std::u16string searched = inFiles ? u"C:\\PATCHF~1\\Files" : u"C:\\PATCHF~1";
  WidePath name;
  ASSERT_TRUE(FindFirstMatch(machine, searched.c_str(), c.pattern, name));
  const std::u16string expected =
      c.taken ? machine.DecodeAnsi(c.longName) : (inFiles ? u"z_Tessel.msp" : u"z.msi");
  EXPECT_EQ(std::u16string(name.c_str()), expected);
  EXPECT_EQ(ForEachMatch(machine, searched.c_str(), c.pattern, 10, nullptr, nullptr),
            c.taken ? 2u : 1u)
      << "counted as a candidate";
}

INSTANTIATE_TEST_SUITE_P(
    Table, PackageCandidateTest,
    ::testing::Values(
        CandidateCase{"Hostrel_x.mspx", "HOSTRE~1.MSP", false, kPatchPackagePattern, false},
        CandidateCase{"Hostrel.msp", "", true, kPatchPackagePattern, false},
        CandidateCase{"Hostrel.MSP", "", false, kPatchPackagePattern, true},
        CandidateCase{"Hostrel.msp.old", "HOSTRE~1.MSP", false, kPatchPackagePattern, false},
        CandidateCase{"Quarrix.msix", "QUARRI~1.MSI", false, kInstallerDatabasePattern, false},
        CandidateCase{"Quarrix.msi", "", true, kInstallerDatabasePattern, false},
        CandidateCase{"Quarrix.Msi", "", false, kInstallerDatabasePattern, true}));

TEST_F(FileDiscoveryTest, NoMatchLeavesTheNameUntouched) {
  WidePath name;
  ASSERT_TRUE(name.assign(u"before"));
  EXPECT_FALSE(FindFirstMatch(machine, u"C:\\PATCHF~1", kInstallerDatabasePattern, name));
  EXPECT_EQ(std::u16string(name.c_str()), u"before");
  EXPECT_EQ(Found(), u"");
}

TEST_F(FileDiscoveryTest, SearchPathThatDoesNotFitFindsNothing) {
  AddPatchFile("Hostrel_Update.msp");
  const std::u16string tooLong = u"C:\\PATCHF~1\\Files\\" + std::u16string(250, u'\\');
  WidePath name;
  EXPECT_FALSE(FindFirstMatch(machine, tooLong.c_str(), kPatchPackagePattern, name));
  EXPECT_TRUE(machine.FindPatterns().empty()) << "nothing may be searched for a cut path";
}

TEST_F(FileDiscoveryTest, NoSourceFolderGivesNoPaths) {
  folder = PatchFolder{};
  AddPatchFile("Hostrel_Update.msp");
  EXPECT_EQ(std::u16string(folder.path.c_str()), u"");
  EXPECT_EQ(FilesFolder(), u"");
  EXPECT_EQ(Found(), u"");
}

TEST_F(FileDiscoveryTest, SourceFolderPathThatDoesNotFitIsEmpty) {
  StartInFolderTooDeepForAPath();
  CaptureFolder();
  EXPECT_EQ(folder.shortForm.length(), 305u);
  EXPECT_EQ(std::u16string(folder.path.c_str()), u"");
}

}  // namespace
}  // namespace setup
