#include "shared/patch_folder.h"

#include <string>

#include "patch_folder.h"

namespace setup {
namespace {

using sim::Operation;
using testing::PatchFolderTest;

class SourceFolderTest : public PatchFolderTest {
 protected:
  std::u16string Captured() {
    CaptureFolder();
    return folder.shortForm.c_str();
  }
};

TEST_F(SourceFolderTest, LongNameWithBlankGivesShortFormWithTrailingBackslash) {
  EXPECT_EQ(Captured(), u"C:\\PATCHF~1\\");
}

TEST_F(SourceFolderTest, EightDotThreeNameIsKeptAsItIs) {
  machine.AddFolder("C:\\PATCH");
  machine.SetCurrentDirectory("C:\\PATCH");
  EXPECT_EQ(Captured(), u"C:\\PATCH\\");
}

TEST_F(SourceFolderTest, DriveRootGetsNoSecondBackslash) {
  machine.SetCurrentDirectory("C:\\");
  EXPECT_EQ(Captured(), u"C:\\");
  EXPECT_EQ(std::u16string(folder.currentDirectory.c_str()), u"C:\\") << "as a prompt's %CD%";
}

TEST_F(SourceFolderTest, LongPathIsUsedWhenNoShortFormCanBeHad) {
  machine.SetShortNamesAvailable(false);
  EXPECT_EQ(Captured(), u"C:\\Patch Files\\") << "volume without 8.3 names";

  machine.SetShortNamesAvailable(true);
  machine.FailCall(Operation::GetShortPathNameW, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Captured(), u"C:\\Patch Files\\") << "short path query failed";
}

TEST_F(SourceFolderTest, StaysEmptyWithoutACurrentDirectory) {
  machine.ClearCurrentDirectory();
  EXPECT_EQ(Captured(), u"");
}

TEST_F(SourceFolderTest, StaysEmptyWhenTheDirectoryWithItsBackslashDoesNotFit) {
  const auto folderOfLength = [](std::size_t length) {
    std::string path = "C:";
    while (path.size() < length) {
      path += "\\" + std::string(std::min<std::size_t>(50, length - path.size() - 1), 'd');
    }
    return path;
  };
  // 998 characters, a backslash and the terminator fill the 1000 bytes.
  machine.AddFolder(folderOfLength(998));
  machine.SetCurrentDirectory(folderOfLength(998));
  EXPECT_EQ(Captured().size(), 999u);

  machine.AddFolder(folderOfLength(999));
  machine.SetCurrentDirectory(folderOfLength(999));
  EXPECT_EQ(Captured(), u"") << "no room left for the backslash";
}

TEST_F(SourceFolderTest, NonAsciiFolderIsConvertedWithTheSystemCodePage) {
  machine.SetSystemCodePage(932);
  machine.SetThreadCodePage(932);
  const std::string ansiFolder = machine.EncodeAnsi(u"C:\\パッチ");
  machine.AddFolder(ansiFolder);
  machine.SetCurrentDirectory(ansiFolder);
  EXPECT_EQ(Captured(), u"C:\\パッチ\\");
}

}  // namespace
}  // namespace setup
