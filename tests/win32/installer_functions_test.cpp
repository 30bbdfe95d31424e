// Binding msi.dll's functions by ordinal, and what the installer calls
// answer when the DLL or one of its ordinals is missing.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/installer_functions.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"

namespace setup {
namespace {

constexpr Status kErrorModNotFound = 126;   // ERROR_MOD_NOT_FOUND
constexpr Status kErrorProcNotFound = 127;  // ERROR_PROC_NOT_FOUND

TEST(InstallerFunctionsTest, ThePlatformBindsTheSystemMsiDllOnce) {
  Win32Platform platform;
  EXPECT_EQ(ERROR_SUCCESS, platform.installer().binding_status());
  EXPECT_EQ(&platform.installer(), &platform.installer()) << "one binding a run";
}

// Every call answers `expected` without calling into the DLL, and hands
// out no handle.
void ExpectEveryCallFails(InstallerFunctions& functions, Status expected) {
  MsiHandle handle = 0x1234;
  EXPECT_EQ(expected, functions.OpenDatabase(u"C:\\absent.msi", 0, &handle)) << "open";
  EXPECT_EQ(0u, handle) << "no database handle";
  handle = 0x1234;
  EXPECT_EQ(expected, functions.OpenView(1, u"SELECT * FROM `Property`", &handle)) << "view";
  EXPECT_EQ(0u, handle) << "no view handle";
  EXPECT_EQ(expected, functions.ExecuteView(1, 0)) << "execute";
  handle = 0x1234;
  EXPECT_EQ(expected, functions.FetchRecord(1, &handle)) << "fetch";
  EXPECT_EQ(0u, handle) << "no record handle";
  WideChar text[8] = u"#######";
  std::uint32_t count = 8;
  EXPECT_EQ(expected, functions.GetRecordString(1, 2, text, &count)) << "get string";
  EXPECT_EQ(u"#######", std::u16string(text)) << "buffer untouched";
  EXPECT_EQ(expected, functions.CloseHandle(1)) << "close";
}

TEST(InstallerFunctionsTest, AMissingDllMakesEveryCallReportTheLoadError) {
  InstallerFunctions functions(L"setup-no-such-library.dll");
  EXPECT_EQ(kErrorModNotFound, functions.binding_status());
  ExpectEveryCallFails(functions, kErrorModNotFound);
}

TEST(InstallerFunctionsTest, ADllLackingAnOrdinalIsNotCalledAtAll) {
  // version.dll has an export at ordinal 8 (MsiCloseHandle's) but none at
  // 159 or 160: were the ordinals bound one by one, close would call it.
  const SystemLibrary version(L"version.dll");
  ASSERT_TRUE(version.loaded()) << "error " << version.load_error();
  ASSERT_NE(nullptr, version.resolve_ordinal(8)) << "precondition: ordinal 8 exists";
  ASSERT_EQ(nullptr, version.resolve_ordinal(159)) << "precondition: ordinal 159 is absent";

  InstallerFunctions functions(L"version.dll");
  EXPECT_EQ(kErrorProcNotFound, functions.binding_status());
  ExpectEveryCallFails(functions, kErrorProcNotFound);
}

// Stand-ins for msi.dll's functions: distinct bodies, so distinct
// addresses. Never called.
template <int N>
int StandIn() {
  return N;
}

struct BindingCase {
  const char* what;
  bool named;            // the functions are exported by name too
  const char* misnamed;  // this name leads to another address
  Status expected;
};

// The fixture is the export table, typed in from its case.
class BindingTest : public ::testing::TestWithParam<BindingCase>,
                    public InstallerFunctions::Exports {
 protected:
  SystemLibrary::ExportAddress by_ordinal(std::uint16_t ordinal) const override {
    return Find(ordinal, "");
  }
  SystemLibrary::ExportAddress by_name(const char* name) const override {
    const BindingCase& c = GetParam();
    if (c.misnamed != nullptr && std::string(name) == c.misnamed) return Address(&StandIn<0>);
    return c.named ? Find(0, name) : nullptr;
  }

 private:
  static SystemLibrary::ExportAddress Address(int (*function)()) {
    return reinterpret_cast<SystemLibrary::ExportAddress>(function);
  }
  static SystemLibrary::ExportAddress Find(std::uint16_t ordinal, const std::string& name) {
    const struct {
      std::uint16_t ordinal;
      const char* name;
      int (*function)();
    } exports[] = {
        {92, "MsiOpenDatabaseW", &StandIn<1>},     {32, "MsiDatabaseOpenViewW", &StandIn<2>},
        {118, "MsiRecordGetStringW", &StandIn<3>}, {159, "MsiViewExecute", &StandIn<4>},
        {160, "MsiViewFetch", &StandIn<5>},        {8, "MsiCloseHandle", &StandIn<6>}};
    for (const auto& e : exports) {
      if (e.ordinal == ordinal || e.name == name) return Address(e.function);
    }
    return nullptr;
  }
};

TEST_P(BindingTest, OrdinalsAreUsedOnlyWhereTheirNamesAgree) {
  InstallerFunctions functions(*this);
  EXPECT_EQ(GetParam().expected, functions.binding_status()) << GetParam().what;
  if (GetParam().expected != ERROR_SUCCESS) ExpectEveryCallFails(functions, GetParam().expected);
}

constexpr Status kErrorInvalidOrdinal = 182;  // ERROR_INVALID_ORDINAL

INSTANTIATE_TEST_SUITE_P(Table, BindingTest,
                         ::testing::Values(BindingCase{"exported by ordinal only", false, nullptr,
                                                       ERROR_SUCCESS},
                                           BindingCase{"the last name leads elsewhere", true,
                                                       "MsiCloseHandle", kErrorInvalidOrdinal}));

}  // namespace
}  // namespace setup
