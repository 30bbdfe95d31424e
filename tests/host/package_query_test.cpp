#include "discovery/language_pack_package.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "patch_folder.h"

namespace setup {
namespace {

using sim::Operation;
using testing::PatchFolderTest;

class PackageQueryTest : public PatchFolderTest {
 protected:
  PackageQueryTest() { CaptureFolder(); }

  std::vector<std::string> Closes() const { return machine.InstallerHandleCloses(); }
};

TEST_F(PackageQueryTest, WithoutAPathNothingIsCalled) {
  {
    PackageQuery query(machine, nullptr, kLanguagePackQuery, 0);
    WideChar value[kMaxPath] = {};
    std::uint32_t count = kMaxPath;
    EXPECT_EQ(query.FetchString(value, &count), ERROR_INVALID_HANDLE);
  }
  EXPECT_TRUE(machine.InstallerCalls().empty());
}

TEST_F(PackageQueryTest, ExecutedViewIsReadAndClosedBeforeItsDatabase) {
  AddDatabase("Product.msi", {{"ProductName", "Hostrel"}, {"LanguagePackInstaller", "1"}});
  {
    PackageQuery query(machine, u"C:\\PATCHF~1\\Product.msi", kLanguagePackQuery, 0);
    EXPECT_EQ(query.status(), ERROR_SUCCESS);
    query.fieldNumber = 2;
    WideChar value[kMaxPath] = {};
    std::uint32_t count = kMaxPath;
    EXPECT_EQ(query.FetchString(value, &count), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(value), u"1");
    EXPECT_EQ(query.FetchString(value, &count), ERROR_NO_MORE_ITEMS) << "one row only";
  }
  EXPECT_EQ(Closes(), (std::vector<std::string>{"record", "view", "database"}));
  ASSERT_FALSE(machine.InstallerCalls().empty());
  EXPECT_EQ(machine.InstallerCalls()[0].persistMode, 0u) << "read-only";
}

TEST_F(PackageQueryTest, QueryThatCannotBePreparedClosesOnlyTheDatabase) {
  const sim::ScopedTempDir temp;
  sim::BuildDatabaseWithoutPropertyTable(temp.File("none.msi"));
  machine.AddInstallerDatabase("C:\\Patch Files\\None.msi", temp.File("none.msi"));
  {
    PackageQuery query(machine, u"C:\\PATCHF~1\\None.msi", kLanguagePackQuery, 0);
    EXPECT_NE(query.status(), ERROR_SUCCESS);
    WideChar value[kMaxPath] = {};
    std::uint32_t count = kMaxPath;
    EXPECT_EQ(query.FetchString(value, &count), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(Closes(), (std::vector<std::string>{"database"}));
}

TEST_F(PackageQueryTest, FailedExecutionStillFetchesThroughTheView) {
  AddDatabase("Product.msi", {{"LanguagePackInstaller", "1"}});
  machine.FailCall(Operation::MsiViewExecute, 1627);
  {
    PackageQuery query(machine, u"C:\\PATCHF~1\\Product.msi", kLanguagePackQuery, 0);
    EXPECT_EQ(query.status(), 1627u);
    WideChar value[kMaxPath] = {};
    std::uint32_t count = kMaxPath;
    EXPECT_NE(query.FetchString(value, &count), ERROR_SUCCESS);
    EXPECT_EQ(machine.CallCount(Operation::MsiViewFetch), 1u);
  }
  EXPECT_EQ(Closes(), (std::vector<std::string>{"view", "database"}));
}

TEST_F(PackageQueryTest, HandlesAreClosedWhenAnExceptionLeavesTheOwner) {
  AddDatabase("Product.msi", {{"LanguagePackInstaller", "1"}});
  EXPECT_THROW(
      {
        PackageQuery query(machine, u"C:\\PATCHF~1\\Product.msi", kLanguagePackQuery, 0);
        throw std::runtime_error("owner gives up");
      },
      std::runtime_error);
  EXPECT_EQ(Closes(), (std::vector<std::string>{"view", "database"}));
}

struct ValueCase {
  const char* value;
  bool languagePack;
};

class LanguagePackValueTest : public PackageQueryTest,
                              public ::testing::WithParamInterface<ValueCase> {};

TEST_P(LanguagePackValueTest, OnlyExactlyOneIsALanguagePack) {
  AddDatabase("Product.msi", {{"LanguagePackInstaller", GetParam().value}});
  EXPECT_EQ(IsLanguagePackPackage(machine, run, folder), GetParam().languagePack)
      << "value [" << GetParam().value << "]";
  ASSERT_GE(machine.InstallerCalls().size(), 2u);
  EXPECT_EQ(machine.InstallerCalls()[0].text, "C:\\PATCHF~1\\Product.msi");
  EXPECT_EQ(machine.InstallerCalls()[1].text,
            "SELECT * FROM `Property`  WHERE `Property`= 'LanguagePackInstaller'");
}

INSTANTIATE_TEST_SUITE_P(Values, LanguagePackValueTest,
                         ::testing::Values(ValueCase{"1", true}, ValueCase{"0", false},
                                           ValueCase{"2", false}, ValueCase{"11", false},
                                           ValueCase{"1 ", false}, ValueCase{" 1", false}));

TEST_F(PackageQueryTest, NoDatabaseOrNoRowIsNoLanguagePack) {
  EXPECT_FALSE(IsLanguagePackPackage(machine, run, folder));
  EXPECT_TRUE(machine.InstallerCalls().empty()) << "no .msi: nothing to open";

  AddDatabase("Product.msi", {{"ProductName", "Hostrel"}});
  EXPECT_FALSE(IsLanguagePackPackage(machine, run, folder));
}

TEST_F(PackageQueryTest, OnlyTheFirstDatabaseOfTheFolderItselfIsAsked) {
  AddDatabase("Files\\Inner.msi", {{"LanguagePackInstaller", "1"}});
  EXPECT_FALSE(IsLanguagePackPackage(machine, run, folder))
      << "a database inside Files is not looked at";

  AddDatabase("First.msi", {{"LanguagePackInstaller", "0"}});
  AddDatabase("Second.msi", {{"LanguagePackInstaller", "1"}});
  EXPECT_FALSE(IsLanguagePackPackage(machine, run, folder));
  machine.PutFirstInSearchOrder("C:\\Patch Files\\Second.msi");
  EXPECT_TRUE(IsLanguagePackPackage(machine, run, folder));
}

}  // namespace
}  // namespace setup
