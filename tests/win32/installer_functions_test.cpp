// Binding msi.dll's functions by ordinal, and what the installer calls
// answer when the DLL or one of its ordinals is missing.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"

namespace setup {
namespace {

constexpr Status kErrorModNotFound = 126;   // ERROR_MOD_NOT_FOUND
constexpr Status kErrorProcNotFound = 127;  // ERROR_PROC_NOT_FOUND

using Entry = Win32Platform::RuntimeEntry;

// The installer entries, all bound or none.
constexpr Entry kInstallerEntries[] = {
    Entry::MsiOpenDatabaseW, Entry::MsiDatabaseOpenViewW, Entry::MsiRecordGetStringW,
    Entry::MsiViewExecute,   Entry::MsiViewFetch,         Entry::MsiCloseHandle,
};

void ExpectInstallerBound(const Win32Platform& platform, bool bound, const char* when) {
  for (const Entry entry : kInstallerEntries) {
    EXPECT_EQ(bound, platform.is_bound(entry))
        << "entry " << static_cast<int>(entry) << (bound ? " bound " : " unbound ") << when;
  }
}

TEST(InstallerFunctionsTest, ThePlatformBindsTheSystemMsiDllOnTheFirstInstallerCallOnly) {
  Win32Platform platform;
  ExpectInstallerBound(platform, false, "before the first installer call");
  static_cast<void>(platform.MsiCloseHandle(0));
  ExpectInstallerBound(platform, true, "after it");
  EXPECT_EQ(ERROR_SUCCESS, platform.BindInstaller(L"msi.dll")) << "bound";
  EXPECT_EQ(ERROR_SUCCESS, platform.BindInstaller(L"setup-no-such-library.dll"))
      << "one binding a run";
}

// Every call answers `expected` without calling into the DLL, and hands
// out no handle.
void ExpectEveryCallFails(Win32Platform& platform, Status expected) {
  MsiHandle handle = 0x1234;
  EXPECT_EQ(expected, platform.MsiOpenDatabaseW(u"C:\\absent.msi", 0, &handle)) << "open";
  EXPECT_EQ(0u, handle) << "no database handle";
  handle = 0x1234;
  EXPECT_EQ(expected, platform.MsiDatabaseOpenViewW(1, u"SELECT * FROM `Property`", &handle))
      << "view";
  EXPECT_EQ(0u, handle) << "no view handle";
  EXPECT_EQ(expected, platform.MsiViewExecute(1, 0)) << "execute";
  handle = 0x1234;
  EXPECT_EQ(expected, platform.MsiViewFetch(1, &handle)) << "fetch";
  EXPECT_EQ(0u, handle) << "no record handle";
  WideChar text[8] = u"#######";
  std::uint32_t count = 8;
  EXPECT_EQ(expected, platform.MsiRecordGetStringW(1, 2, text, &count)) << "get string";
  EXPECT_EQ(u"#######", std::u16string(text)) << "buffer untouched";
  EXPECT_EQ(expected, platform.MsiCloseHandle(1)) << "close";
  ExpectInstallerBound(platform, false, "after a failed binding");
}

TEST(InstallerFunctionsTest, AMissingDllMakesEveryCallReportTheLoadError) {
  Win32Platform platform;
  EXPECT_EQ(kErrorModNotFound, platform.BindInstaller(L"setup-no-such-library.dll"));
  EXPECT_EQ(kErrorModNotFound, platform.BindInstaller(L"msi.dll"))
      << "a failed load is not retried";
  ExpectEveryCallFails(platform, kErrorModNotFound);
}

TEST(InstallerFunctionsTest, ADllLackingAnOrdinalIsNotCalledAtAll) {
  // version.dll has an export at ordinal 8 (MsiCloseHandle's) but none at
  // 159 or 160: were the ordinals bound one by one, close would call it.
  const SystemLibrary version(L"version.dll");
  ASSERT_TRUE(version.loaded()) << "error " << version.load_error();
  ASSERT_NE(nullptr, version.resolve_ordinal(8)) << "precondition: ordinal 8 exists";
  ASSERT_EQ(nullptr, version.resolve_ordinal(159)) << "precondition: ordinal 159 is absent";

  Win32Platform platform;
  EXPECT_EQ(kErrorProcNotFound, platform.BindInstaller(L"version.dll"));
  ExpectEveryCallFails(platform, kErrorProcNotFound);
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
class BindingTest : public ::testing::TestWithParam<BindingCase>, public ExportTable {
 protected:
  ExportAddress resolve_ordinal(std::uint16_t ordinal) const override { return Find(ordinal, ""); }
  ExportAddress resolve(const char* name) const override {
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
  Win32Platform platform;
  EXPECT_EQ(GetParam().expected, platform.BindInstaller(*this)) << GetParam().what;
  if (GetParam().expected != ERROR_SUCCESS) {
    ExpectEveryCallFails(platform, GetParam().expected);
  } else {
    ExpectInstallerBound(platform, true, GetParam().what);
  }
}

constexpr Status kErrorInvalidOrdinal = 182;  // ERROR_INVALID_ORDINAL

INSTANTIATE_TEST_SUITE_P(
    Table, BindingTest,
    ::testing::Values(BindingCase{"exported by ordinal only", false, nullptr, ERROR_SUCCESS},
                      BindingCase{"names agree with their ordinals", true, nullptr, ERROR_SUCCESS},
                      BindingCase{"the first name leads elsewhere", true, "MsiOpenDatabaseW",
                                  kErrorInvalidOrdinal},
                      BindingCase{"the last name leads elsewhere", true, "MsiCloseHandle",
                                  kErrorInvalidOrdinal}));

}  // namespace
}  // namespace setup
