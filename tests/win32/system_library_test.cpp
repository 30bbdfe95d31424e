// Loading DLLs from the system folder only, and resolving their exports by
// name and by ordinal.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/system_library.h"
#include "win32_fixtures.h"

namespace setup {
namespace {

constexpr Status kErrorModNotFound = 126;      // ERROR_MOD_NOT_FOUND
constexpr Status kErrorInvalidParameter = 87;  // ERROR_INVALID_PARAMETER

class SystemLibraryRouteTest : public ::testing::TestWithParam<SystemLibrary::LoadRoute> {};

TEST_P(SystemLibraryRouteTest, LoadsFromTheSystemFolder) {
  const SystemLibrary advapi32(L"advapi32.dll", GetParam());
  ASSERT_TRUE(advapi32.loaded()) << "error " << advapi32.load_error();
  EXPECT_EQ(0u, advapi32.load_error()) << "no error when loaded";
  const SystemLibrary::ExportAddress address = advapi32.resolve("RegOpenKeyExW");
  ASSERT_NE(nullptr, address) << "RegOpenKeyExW exported";
  const std::u16string moduleFolder = setup_test::LowerAscii(setup_test::ModuleFolderOf(address));
  const std::vector<std::u16string> systemFolders = setup_test::SystemFolderForms();
  EXPECT_NE(systemFolders.end(),
            std::find(systemFolders.begin(), systemFolders.end(), moduleFolder))
      << "the export lives in a module from the system folder, not in "
      << ::testing::PrintToString(moduleFolder);
}

INSTANTIATE_TEST_SUITE_P(BothRoutes, SystemLibraryRouteTest,
                         ::testing::Values(SystemLibrary::LoadRoute::Automatic,
                                           SystemLibrary::LoadRoute::FullPath));

TEST(SystemLibraryTest, RefusesWhatIsNotABareSystemDllName) {
  const struct {
    const char* what;
    const wchar_t* name;
    Status expected;
  } cases[] = {
      {"absent DLL", L"setup-no-such-library.dll", kErrorModNotFound},
      {"empty name", L"", kErrorInvalidParameter},
      {"relative path", L"..\\advapi32.dll", kErrorInvalidParameter},
      {"forward slash", L"sub/advapi32.dll", kErrorInvalidParameter},
      {"drive-relative name", L"C:advapi32.dll", kErrorInvalidParameter},
  };
  for (const auto& c : cases) {
    const SystemLibrary library(c.name);
    EXPECT_FALSE(library.loaded()) << c.what;
    EXPECT_EQ(c.expected, library.load_error()) << c.what;
    EXPECT_EQ(nullptr, library.resolve("RegOpenKeyExW")) << c.what << ": nothing resolves";
    EXPECT_EQ(nullptr, library.resolve_ordinal(8)) << c.what << ": nothing resolves";
  }
}

TEST(SystemLibraryTest, UnknownExportsResolveToNull) {
  const SystemLibrary advapi32(L"advapi32.dll");
  ASSERT_TRUE(advapi32.loaded());
  EXPECT_EQ(nullptr, advapi32.resolve("SetupNoSuchExport")) << "unknown name";
  EXPECT_EQ(nullptr, advapi32.resolve_ordinal(0)) << "ordinal 0 does not exist";
  EXPECT_EQ(nullptr, advapi32.resolve_ordinal(65000)) << "ordinal beyond the table";
}

TEST(SystemLibraryTest, MsiOrdinalsResolveToTheNamedFunctions) {
  const SystemLibrary msi(L"msi.dll");
  ASSERT_TRUE(msi.loaded()) << "error " << msi.load_error();
  const struct {
    std::uint16_t ordinal;
    const char* name;
  } cases[] = {
      {92, "MsiOpenDatabaseW"}, {32, "MsiDatabaseOpenViewW"}, {159, "MsiViewExecute"},
      {160, "MsiViewFetch"},    {118, "MsiRecordGetStringW"}, {8, "MsiCloseHandle"},
  };
  for (const auto& c : cases) {
    const SystemLibrary::ExportAddress byName = msi.resolve(c.name);
    ASSERT_NE(nullptr, byName) << c.name << " exported";
    EXPECT_EQ(byName, msi.resolve_ordinal(c.ordinal))
        << "ordinal " << c.ordinal << " is " << c.name;
  }
}

}  // namespace
}  // namespace setup
