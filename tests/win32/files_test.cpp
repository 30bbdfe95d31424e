// Folder, search and profile behaviour the launcher's path handling relies
// on, in a scratch folder under %TEMP% whose name holds a blank.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/win32/win32_platform.h"
#include "win32_fixtures.h"

namespace setup {
namespace {

using setup_test::ScratchFolder;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.created()) << "scratch folder " << folder_.path();
    ASSERT_NE(std::string::npos, folder_.path().find(' ')) << "the folder name holds a blank";
    savedDirectory_ = setup_test::CurrentDirectory();
    ASSERT_FALSE(savedDirectory_.empty()) << "current directory readable";
  }
  void TearDown() override {
    EXPECT_TRUE(setup_test::ChangeDirectory(savedDirectory_)) << "current directory restored";
  }

  Win32Platform platform_;
  ScratchFolder folder_{"Setup Platform Test "};
  std::string savedDirectory_;
};

TEST_F(FilesTest, CurrentDirectoryIsReportedWithoutTrailingBackslash) {
  ASSERT_TRUE(setup_test::ChangeDirectory(folder_.path() + "\\"));
  char buffer[260] = {};
  const std::uint32_t length = platform_.GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(folder_.path(), std::string(buffer)) << "the folder, no trailing backslash";
  EXPECT_EQ(std::strlen(buffer), length) << "length without the terminator";

  char tooSmall[4] = {};
  EXPECT_EQ(length + 1, platform_.GetCurrentDirectoryA(sizeof tooSmall, tooSmall))
      << "size needed, terminator included, when the buffer is too small";
}

TEST_F(FilesTest, ShortPathHasNoBlankAndKeepsTheTrailingBackslash) {
  const std::string longPath = folder_.path() + "\\";
  char buffer[260] = {};
  const std::uint32_t length = platform_.GetShortPathNameA(longPath.c_str(), buffer, sizeof buffer);
  const std::string shortPath(buffer);
  ASSERT_NE(0u, length) << "short name of " << longPath;
  EXPECT_EQ(shortPath.size(), length) << "length without the terminator";
  EXPECT_EQ(std::string::npos, shortPath.find(' ')) << "no blank in " << shortPath;
  ASSERT_FALSE(shortPath.empty());
  EXPECT_EQ('\\', shortPath.back()) << "trailing backslash kept in " << shortPath;
  EXPECT_TRUE(setup_test::IsDirectory(shortPath)) << shortPath << " names the folder";

  char tooSmall[4] = {};
  EXPECT_EQ(length + 1, platform_.GetShortPathNameA(longPath.c_str(), tooSmall, sizeof tooSmall))
      << "size needed, terminator included, when the buffer is too small";
  const std::string absent = folder_.path() + "\\Absent Folder\\";
  EXPECT_EQ(0u, platform_.GetShortPathNameA(absent.c_str(), buffer, sizeof buffer))
      << "an absent path has no short name";
}

TEST_F(FilesTest, FindFirstFileAcceptsSingleAndDoubledBackslashBeforeTheWildcard) {
  ASSERT_TRUE(folder_.AddFile("Update.msp", "patch"));
  struct Case {
    const char* separator;
    const char* what;
  };
  for (const Case& search : {Case{"\\", "single backslash"}, Case{"\\\\", "doubled backslash"}}) {
    const std::string pattern = folder_.path() + search.separator + "*.msp";
    FindData data;
    ScopedFindHandle found(platform_, platform_.FindFirstFileA(pattern.c_str(), &data));
    ASSERT_TRUE(found.valid()) << search.what << ": " << pattern << " finds the patch";
    EXPECT_STREQ("Update.msp", data.fileName) << search.what << ": name without its folder";
    EXPECT_EQ(ERROR_SUCCESS, found.reset()) << search.what << ": FindClose succeeds";
  }
}

TEST_F(FilesTest, FindFirstFileWithoutMatchReturnsTheInvalidHandle) {
  const std::string pattern = folder_.path() + "\\*.msp";
  FindData data;
  EXPECT_EQ(INVALID_FIND_HANDLE, platform_.FindFirstFileA(pattern.c_str(), &data));
}

TEST_F(FilesTest, SystemDirectoryFollowsTheSizeRules) {
  WideChar buffer[260] = {};
  const std::uint32_t length = platform_.GetSystemDirectoryW(buffer, 260);
  const std::u16string directory(buffer);
  EXPECT_EQ(setup_test::SystemDirectory(), directory) << "the system folder";
  EXPECT_EQ(directory.size(), length) << "length without the terminator";

  WideChar tooSmall[1] = {};
  EXPECT_EQ(length + 1, platform_.GetSystemDirectoryW(tooSmall, 1))
      << "size needed, terminator included, when the buffer is too small";
}

TEST_F(FilesTest, PrivateProfileStringReadsKeysAndFallsBackToTheDefault) {
  ASSERT_TRUE(folder_.AddFile("setup.ini", "[Startup]\r\nLanguage=1031\r\nProduct=Quarrix\r\n"));
  const std::u16string iniPath = setup_test::WidenAnsi(folder_.path() + "\\setup.ini");
  const std::u16string absentPath = setup_test::WidenAnsi(folder_.path() + "\\absent.ini");
  struct Case {
    const char* what;
    const char16_t* section;
    const char16_t* key;
    std::uint32_t size;
    const std::u16string* file;
    std::u16string expected;
  };
  const Case cases[] = {
      {"present key", u"Startup", u"Language", 64, &iniPath, u"1031"},
      {"key names ignore case", u"startup", u"PRODUCT", 64, &iniPath, u"Quarrix"},
      {"absent key", u"Startup", u"Missing", 64, &iniPath, u"none"},
      {"absent section", u"Other", u"Language", 64, &iniPath, u"none"},
      {"absent file", u"Startup", u"Language", 64, &absentPath, u"none"},
      {"value cut to the buffer", u"Startup", u"Product", 4, &iniPath, u"Qua"},
  };
  for (const Case& c : cases) {
    WideChar buffer[65];
    for (WideChar& unit : buffer) unit = u'#';
    buffer[64] = u'\0';  // reads stay inside even if the call wrote nothing
    const std::uint32_t copied = platform_.GetPrivateProfileStringW(
        c.section, c.key, u"none", buffer, c.size, c.file->c_str());
    EXPECT_EQ(c.expected, std::u16string(buffer)) << c.what;
    EXPECT_EQ(c.expected.size(), copied) << c.what << ": units copied, no terminator";
  }
}

}  // namespace
}  // namespace setup
