// The system folder and ini files as the launcher reads them, checked
// against the system's own answers: the simulated machine only answers what
// a test tells it, so these are not part of the shared contract
// (tests/contract holds the folder, search and log-file cases).
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
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
  }

  const std::u16string& path() const { return folder_.wide_path(); }

  Win32Platform platform_;
  ScratchFolder folder_{u"Setup Platform Łódź 予定表 "};
};

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
