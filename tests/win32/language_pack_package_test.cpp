// The launcher's own users of the installer calls, PackageQuery and
// IsLanguagePackPackage, on the Win32 platform and databases that msibuild
// made (test_databases.h).
#include <gtest/gtest.h>

#include <string>

#include "discovery/language_pack_package.h"
#include "shared/patch_folder.h"
#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "test_databases.h"
#include "win32_fixtures.h"

namespace setup {
namespace {

namespace database = setup_test::database;

// What msi.dll answers under Wine (installer_database_test.cpp).
constexpr Status kErrorBadQuerySyntax = 1615;  // ERROR_BAD_QUERY_SYNTAX
constexpr Status kErrorFunctionFailed = 1627;  // ERROR_FUNCTION_FAILED

class LanguagePackPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(setup_test::DatabasesFolder().empty())
        << "SETUP_TEST_DATABASES names the databases of make_test_databases.sh";
    savedDirectory_ = setup_test::CurrentDirectory();
    ASSERT_FALSE(savedDirectory_.empty()) << "current directory readable";
  }
  void TearDown() override {
    EXPECT_TRUE(setup_test::ChangeDirectory(savedDirectory_)) << "current directory restored";
  }

  Win32Platform platform_;
  std::string savedDirectory_;
};

TEST_F(LanguagePackPackageTest, PackageQueryReportsEachStepsStatus) {
  const struct {
    const char* caseName;
    Status queryStatus;  // after construction
    Status fetchStatus;  // of the first FetchString
    const char* value;   // on success
  } cases[] = {
      {database::kLanguagePackOne, ERROR_SUCCESS, ERROR_SUCCESS, "1"},
      {database::kLanguagePackBlankOne, ERROR_SUCCESS, ERROR_SUCCESS, " 1"},
      {database::kLanguagePackLong, ERROR_SUCCESS, ERROR_MORE_DATA, nullptr},
      {database::kNoLanguagePackRow, ERROR_SUCCESS, ERROR_NO_MORE_ITEMS, nullptr},
      {database::kNoPropertyTable, kErrorBadQuerySyntax, ERROR_INVALID_HANDLE, nullptr},
      {database::kNotADatabase, kErrorFunctionFailed, ERROR_INVALID_HANDLE, nullptr},
      {database::kAbsent, kErrorFunctionFailed, ERROR_INVALID_HANDLE, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caseName);
    PackageQuery query(platform_,
                       setup_test::WidenAnsi(setup_test::DatabasePath(c.caseName)).c_str(),
                       kLanguagePackQuery, 0);
    EXPECT_EQ(c.queryStatus, query.status()) << "status after opening and executing";
    query.fieldNumber = 2;
    WideChar value[kMaxPath] = {};
    std::uint32_t count = kMaxPath;
    EXPECT_EQ(c.fetchStatus, query.FetchString(value, &count)) << "first fetch";
    if (c.value != nullptr) {
      EXPECT_EQ(setup_test::WidenAnsi(c.value), std::u16string(value)) << "the value";
    }
  }
}

TEST_F(LanguagePackPackageTest, OnlyAWholeOneMakesALanguagePack) {
  const struct {
    const char* caseName;
    bool languagePack;
  } cases[] = {
      {database::kLanguagePackOne, true},       {database::kLanguagePackZero, false},
      {database::kLanguagePackBlankOne, false}, {database::kLanguagePackLong, false},
      {database::kNoLanguagePackRow, false},    {database::kNoPropertyTable, false},
      {database::kNotADatabase, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caseName);
    // The launcher reads the first *.msi of the folder it was started in.
    ASSERT_TRUE(setup_test::ChangeDirectory(setup_test::DatabaseFolder(c.caseName)));
    RunState run;
    const PatchFolder folder = CapturePatchFolder(platform_, run);
    ASSERT_FALSE(folder.shortForm.empty()) << "source folder captured";
    EXPECT_EQ(c.languagePack, IsLanguagePackPackage(platform_, run, folder));
  }
}

TEST_F(LanguagePackPackageTest, AFolderNamedOutsideTheCodePageIsReadToo) {
  setup_test::ScratchFolder scratch(u"Setup 予定表 Łódź ");
  ASSERT_TRUE(scratch.created());
  ASSERT_TRUE(scratch.AddCopy("Package.msi", setup_test::DatabasePath(database::kLanguagePackOne)));
  ASSERT_TRUE(setup_test::ChangeDirectory(scratch.wide_path()));
  RunState run;
  const PatchFolder folder = CapturePatchFolder(platform_, run);
  ASSERT_FALSE(folder.shortForm.empty()) << "source folder captured";
  EXPECT_TRUE(IsLanguagePackPackage(platform_, run, folder));
  // The folder goes before the test's end; it may not be the current one.
  EXPECT_TRUE(setup_test::ChangeDirectory(savedDirectory_));
}

}  // namespace
}  // namespace setup
