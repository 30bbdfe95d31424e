// Folder, search, profile and log-file behaviour the launcher relies on,
// in a scratch folder under %TEMP% whose name holds blanks and letters
// outside the ANSI code page, which only UTF-16 spells whole.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/win32/win32_platform.h"
#include "sim/platform_test_constants.h"
#include "win32_fixtures.h"

namespace setup {
namespace {

using setup_test::ScratchFolder;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.created()) << "scratch folder " << ::testing::PrintToString(path());
    ASSERT_NE(std::u16string::npos, path().find(u' ')) << "the folder name holds a blank";
    savedDirectory_ = setup_test::CurrentDirectory();
    ASSERT_FALSE(savedDirectory_.empty()) << "current directory readable";
  }
  void TearDown() override {
    EXPECT_TRUE(setup_test::ChangeDirectory(savedDirectory_)) << "current directory restored";
  }

  const std::u16string& path() const { return folder_.wide_path(); }

  Win32Platform platform_;
  ScratchFolder folder_{u"Setup Platform Łódź 予定表 "};
  std::string savedDirectory_;
};

TEST_F(FilesTest, CurrentDirectoryIsReportedWithoutTrailingBackslash) {
  ASSERT_TRUE(setup_test::ChangeDirectory(path() + u"\\"));
  WideChar buffer[260] = {};
  const std::uint32_t length = platform_.GetCurrentDirectoryW(260, buffer);
  EXPECT_EQ(path(), std::u16string(buffer)) << "the folder, no trailing backslash";
  EXPECT_EQ(path().size(), length) << "length without the terminator";

  WideChar tooSmall[4] = {};
  EXPECT_EQ(length + 1, platform_.GetCurrentDirectoryW(4, tooSmall))
      << "size needed, terminator included, when the buffer is too small";
}

// Wine always makes a short form; a Windows volume may have none (8.3
// names are off by default on volumes other than the system's), and then
// the long path comes back: both are right.
TEST_F(FilesTest, ShortPathHasNoBlankAndKeepsTheTrailingBackslash) {
  const std::u16string longPath = path() + u"\\";
  WideChar buffer[260] = {};
  const std::uint32_t length = platform_.GetShortPathNameW(longPath.c_str(), buffer, 260);
  const std::u16string shortPath(buffer);
  ASSERT_NE(0u, length) << "a short name, or the long path";
  EXPECT_EQ(shortPath.size(), length) << "length without the terminator";
  EXPECT_TRUE(shortPath == longPath || shortPath.find(u' ') == std::u16string::npos)
      << "a short form holds no blank: " << ::testing::PrintToString(shortPath);
  ASSERT_FALSE(shortPath.empty());
  EXPECT_EQ(u'\\', shortPath.back()) << "trailing backslash kept";
  EXPECT_TRUE(setup_test::IsDirectory(shortPath)) << "the short name names the folder";

  WideChar tooSmall[4] = {};
  EXPECT_EQ(length + 1, platform_.GetShortPathNameW(longPath.c_str(), tooSmall, 4))
      << "size needed, terminator included, when the buffer is too small";
  const std::u16string absent = path() + u"\\Absent Folder\\";
  EXPECT_EQ(0u, platform_.GetShortPathNameW(absent.c_str(), buffer, 260))
      << "an absent path has no short name";
}

TEST_F(FilesTest, FindFirstFileAcceptsSingleAndDoubledBackslashBeforeTheWildcard) {
  ASSERT_TRUE(folder_.AddFile(u"Łódź 予定表.msp", "patch"));
  ASSERT_TRUE(folder_.AddFile(u"second.msp", "patch"));
  struct Case {
    const char16_t* separator;
    const char* what;
  };
  for (const Case& search : {Case{u"\\", "single backslash"}, Case{u"\\\\", "doubled backslash"}}) {
    const std::u16string pattern = path() + search.separator + u"*.msp";
    WideFindData data;
    ScopedFindHandle found(platform_, platform_.FindFirstFileW(pattern.c_str(), &data));
    ASSERT_TRUE(found.valid()) << search.what << ": the patch found";
    std::u16string names = data.fileName;
    ASSERT_TRUE(platform_.FindNextFileW(found.get(), &data)) << search.what << ": a second match";
    names += u"|" + std::u16string(data.fileName);
    EXPECT_FALSE(platform_.FindNextFileW(found.get(), &data)) << search.what << ": no third";
    EXPECT_TRUE(names == u"Łódź 予定表.msp|second.msp" || names == u"second.msp|Łódź 予定表.msp")
        << search.what << ": names without their folder";
    EXPECT_EQ(ERROR_SUCCESS, found.reset()) << search.what << ": FindClose succeeds";
  }
}

TEST_F(FilesTest, FindFirstFileWithoutMatchReturnsTheInvalidHandle) {
  const std::u16string pattern = path() + u"\\*.msp";
  WideFindData data;
  EXPECT_EQ(INVALID_FIND_HANDLE, platform_.FindFirstFileW(pattern.c_str(), &data));
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

TEST_F(FilesTest, TempPathEndsInABackslashAndNamesAFolder) {
  WideChar buffer[261] = {};
  const std::uint32_t length = platform_.GetTempPathW(261, buffer);
  const std::u16string temp(buffer);
  ASSERT_NE(0u, length) << "a temporary folder";
  EXPECT_EQ(temp.size(), length) << "length without the terminator";
  EXPECT_EQ(u'\\', temp.back()) << ::testing::PrintToString(temp);
  EXPECT_TRUE(setup_test::IsDirectory(temp)) << ::testing::PrintToString(temp);

  WideChar tooSmall[2] = {};
  EXPECT_EQ(length + 1, platform_.GetTempPathW(2, tooSmall))
      << "size needed, terminator included, when the buffer is too small";
}

TEST_F(FilesTest, CreateNewMakesALogOthersCanReadAndNeverOpensAnExistingOne) {
  const std::u16string logPath = folder_.PathFor(u"Setup Łódź 予定表.log");
  const auto createNew = [&](Status* lastError) {
    return platform_.CreateFileW(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, lastError);
  };
  Status lastError = ERROR_INVALID_HANDLE;
  ScopedKernelHandle log(platform_, createNew(&lastError));
  ASSERT_TRUE(log.valid()) << "the log is made; error " << lastError;
  EXPECT_EQ(ERROR_SUCCESS, lastError) << "no error when made";

  // Non-ASCII UTF-8, a line end and a zero byte: written as they are.
  const char bytes[] =
      "07.12.2026 \xC5\x81\xC3\xB3"
      "d\xC5\xBA\r\n\0end";
  const std::string line(bytes, sizeof bytes - 1);
  std::uint32_t written = 0;
  EXPECT_TRUE(platform_.WriteFile(log.get(), reinterpret_cast<const std::uint8_t*>(line.data()),
                                  static_cast<std::uint32_t>(line.size()), &written));
  EXPECT_EQ(line.size(), written) << "bytes written";

  // A log already there, still open or not, is neither opened again nor cut.
  for (const char* state : {"open", "closed"}) {
    lastError = ERROR_SUCCESS;
    ScopedKernelHandle second(platform_, createNew(&lastError));
    EXPECT_FALSE(second.valid()) << "a second CREATE_NEW, the log " << state;
    EXPECT_EQ(ERROR_FILE_EXISTS, lastError) << "the log " << state;
    std::string content;
    EXPECT_TRUE(setup_test::ReadFileBytes(logPath, &content)) << "a reader, the log " << state;
    EXPECT_EQ(line, content) << "exactly the bytes written, the log " << state;
    EXPECT_EQ(ERROR_SUCCESS, log.reset()) << "the log closes";
  }
}

TEST_F(FilesTest, PrivateProfileStringReadsKeysAndFallsBackToTheDefault) {
  ASSERT_TRUE(folder_.AddFile("setup.ini", "[Startup]\r\nLanguage=1031\r\nProduct=Quarrix\r\n"));
  const std::u16string iniPath = path() + u"\\setup.ini";
  const std::u16string absentPath = path() + u"\\absent.ini";
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
