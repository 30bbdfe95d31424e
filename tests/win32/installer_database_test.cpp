// The installer-database calls of the Win32 platform against the real
// msi.dll, on databases that msibuild made (test_databases.h): what each
// step answers, the string size rules and handle closing.
#include <gtest/gtest.h>

#include <string>

#include "discovery/language_pack_package.h"
#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/win32/win32_platform.h"
#include "test_databases.h"
#include "win32_fixtures.h"

namespace setup {
namespace {

namespace database = setup_test::database;

constexpr std::uint32_t kReadOnly = 0;         // MSIDBOPEN_READONLY
constexpr Status kErrorBadQuerySyntax = 1615;  // ERROR_BAD_QUERY_SYNTAX
constexpr Status kErrorFunctionFailed = 1627;  // ERROR_FUNCTION_FAILED

struct MsiHandleTraits {
  using Handle = MsiHandle;
  static constexpr Handle kNone = 0;
  static Status Close(Platform& platform, Handle handle) { return platform.MsiCloseHandle(handle); }
};
using ScopedMsiHandle = ScopedHandle<MsiHandleTraits>;

// What reading one record field answered. `buffer` is the whole buffer the
// call was given, prefilled with '#'.
struct FieldRead {
  Status status;
  std::uint32_t count;
  std::u16string buffer;
};

class InstallerDatabaseTest : public ::testing::Test {
 protected:
  static constexpr std::size_t kBufferUnits = setup_test::kLongValueLength + 8;

  void SetUp() override {
    ASSERT_FALSE(setup_test::DatabasesFolder().empty())
        << "SETUP_TEST_DATABASES names the databases of make_test_databases.sh";
  }

  // Opens the database at `path` read-only; `database` owns the handle.
  Status OpenPath(const std::u16string& path, ScopedMsiHandle* database) {
    MsiHandle opened = 0x1234;
    const Status status = platform_.MsiOpenDatabaseW(path.c_str(), kReadOnly, &opened);
    if (status == ERROR_SUCCESS) database->adopt(opened);
    return status;
  }

  // Opens case `caseName` read-only; `database` owns the handle.
  Status Open(const char* caseName, ScopedMsiHandle* database) {
    return OpenPath(setup_test::WidenAnsi(setup_test::DatabasePath(caseName)), database);
  }

  // Opens and executes the launcher's query on `database`; `view` owns it.
  Status Query(const ScopedMsiHandle& database, ScopedMsiHandle* view) {
    MsiHandle opened = 0;
    Status status = platform_.MsiDatabaseOpenViewW(database.get(), kLanguagePackQuery, &opened);
    if (status != ERROR_SUCCESS) return status;
    view->adopt(opened);
    return platform_.MsiViewExecute(view->get(), 0);
  }

  // Field `field` of `record` into a buffer of `capacity` units (no buffer
  // at all unless `withBuffer`).
  FieldRead ReadField(MsiHandle record, std::uint32_t field, bool withBuffer,
                      std::uint32_t capacity) {
    FieldRead read{ERROR_SUCCESS, capacity, std::u16string(kBufferUnits, u'#')};
    read.status = platform_.MsiRecordGetStringW(
        record, field, withBuffer ? &read.buffer[0] : nullptr, &read.count);
    return read;
  }

  Win32Platform platform_;
};

TEST_F(InstallerDatabaseTest, TheLaunchersQueryReadsTheOneLanguagePackRow) {
  const struct {
    const char* caseName;
    const char16_t* value;
  } cases[] = {
      {database::kLanguagePackOne, u"1"},
      {database::kLanguagePackZero, u"0"},
      {database::kLanguagePackBlankOne, u" 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caseName);
    ScopedMsiHandle database(platform_);
    ASSERT_EQ(ERROR_SUCCESS, Open(c.caseName, &database)) << "opens read-only";
    ASSERT_TRUE(database.valid()) << "a database handle";
    ScopedMsiHandle view(platform_);
    ASSERT_EQ(ERROR_SUCCESS, Query(database, &view)) << "view opened and executed";

    MsiHandle fetched = 0;
    ASSERT_EQ(ERROR_SUCCESS, platform_.MsiViewFetch(view.get(), &fetched)) << "one row";
    ScopedMsiHandle record(platform_, fetched);
    ASSERT_TRUE(record.valid()) << "a record handle";
    const FieldRead name = ReadField(record.get(), 1, true, 260);
    EXPECT_EQ(ERROR_SUCCESS, name.status);
    EXPECT_EQ(u"LanguagePackInstaller", std::u16string(name.buffer.c_str()))
        << "field 1 is the property's name";
    const FieldRead value = ReadField(record.get(), 2, true, 260);
    EXPECT_EQ(ERROR_SUCCESS, value.status);
    EXPECT_EQ(std::u16string(c.value), std::u16string(value.buffer.c_str()))
        << "field 2 is its value, blanks kept";
    EXPECT_EQ(std::char_traits<char16_t>::length(c.value), value.count)
        << "count is the value's length";

    MsiHandle next = 0x1234;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, platform_.MsiViewFetch(view.get(), &next)) << "only one row";
    EXPECT_EQ(0u, next) << "no record after the last";

    EXPECT_EQ(ERROR_SUCCESS, record.reset()) << "record closes";
    EXPECT_EQ(ERROR_SUCCESS, view.reset()) << "view closes";
    EXPECT_EQ(ERROR_SUCCESS, database.reset()) << "database closes";
  }
}

// Where the launcher's steps stop on databases that hold no value for it,
// and with which status. The statuses are what msi.dll answers under Wine;
// a file that is not there and one that is no database answer alike.
TEST_F(InstallerDatabaseTest, DatabasesWithoutTheValueStopAtTheStepThatFails) {
  enum class Step { Open, OpenView, Fetch };
  const struct {
    const char* caseName;
    Step failingStep;
    Status status;
  } cases[] = {
      {database::kNoLanguagePackRow, Step::Fetch, ERROR_NO_MORE_ITEMS},
      {database::kNoPropertyTable, Step::OpenView, kErrorBadQuerySyntax},
      {database::kNotADatabase, Step::Open, kErrorFunctionFailed},
      {database::kAbsent, Step::Open, kErrorFunctionFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caseName);
    ScopedMsiHandle database(platform_);
    const Status opened = Open(c.caseName, &database);
    if (c.failingStep == Step::Open) {
      EXPECT_EQ(c.status, opened) << "opening fails";
      EXPECT_FALSE(database.valid()) << "no database handle";
      continue;
    }
    ASSERT_EQ(ERROR_SUCCESS, opened) << "opens";

    MsiHandle view = 0x1234;
    const Status viewed = platform_.MsiDatabaseOpenViewW(database.get(), kLanguagePackQuery, &view);
    ScopedMsiHandle ownedView(platform_, viewed == ERROR_SUCCESS ? view : 0);
    if (c.failingStep == Step::OpenView) {
      EXPECT_EQ(c.status, viewed) << "opening the view fails";
      EXPECT_EQ(0u, view) << "no view handle";
      continue;
    }
    ASSERT_EQ(ERROR_SUCCESS, viewed) << "view opens";
    ASSERT_EQ(ERROR_SUCCESS, platform_.MsiViewExecute(view, 0)) << "view executes";

    MsiHandle record = 0x1234;
    EXPECT_EQ(c.status, platform_.MsiViewFetch(view, &record)) << "fetching fails";
    EXPECT_EQ(0u, record) << "no record handle";
  }
}

// What MsiRecordGetStringW answers for each buffer size, in UTF-16 units:
// the count that comes back is the text's length, without the terminator.
TEST_F(InstallerDatabaseTest, RecordStringsFollowTheBufferSizeRules) {
  const std::u16string longValue = u"1" + std::u16string(setup_test::kLongValueLength - 1, u'0');
  const struct {
    const char* what;
    const char* caseName;
    bool withBuffer;
    std::uint32_t capacity;
    Status status;
    std::uint32_t count;
    const char16_t* text;  // checked on success only
  } cases[] = {
      {"no room at all", database::kLanguagePackOne, true, 0, ERROR_MORE_DATA, 1, nullptr},
      {"no room for the terminator", database::kLanguagePackOne, true, 1, ERROR_MORE_DATA, 1,
       nullptr},
      {"just enough", database::kLanguagePackOne, true, 2, ERROR_SUCCESS, 1, u"1"},
      {"no buffer asks the length", database::kLanguagePackOne, false, 0, ERROR_SUCCESS, 1,
       nullptr},
      {"long value in MAX_PATH", database::kLanguagePackLong, true, 260, ERROR_MORE_DATA,
       setup_test::kLongValueLength, nullptr},
      {"long value one short", database::kLanguagePackLong, true, setup_test::kLongValueLength,
       ERROR_MORE_DATA, setup_test::kLongValueLength, nullptr},
      {"long value just fits", database::kLanguagePackLong, true, setup_test::kLongValueLength + 1,
       ERROR_SUCCESS, setup_test::kLongValueLength, longValue.c_str()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedMsiHandle database(platform_);
    ASSERT_EQ(ERROR_SUCCESS, Open(c.caseName, &database));
    ScopedMsiHandle view(platform_);
    ASSERT_EQ(ERROR_SUCCESS, Query(database, &view));
    MsiHandle fetched = 0;
    ASSERT_EQ(ERROR_SUCCESS, platform_.MsiViewFetch(view.get(), &fetched));
    ScopedMsiHandle record(platform_, fetched);

    const FieldRead read = ReadField(record.get(), 2, c.withBuffer, c.capacity);
    EXPECT_EQ(c.status, read.status) << "status for capacity " << c.capacity;
    EXPECT_EQ(c.count, read.count) << "count for capacity " << c.capacity;
    if (c.text != nullptr) {
      EXPECT_EQ(std::u16string(c.text), std::u16string(read.buffer.c_str())) << "the whole value";
    }
    EXPECT_EQ(u'#', read.buffer[c.capacity]) << "nothing written past the capacity";
  }
}

// A patch folder named outside the ANSI code page, which only a UTF-16 path
// spells whole.
TEST_F(InstallerDatabaseTest, OpensADatabaseInAFolderNamedOutsideTheCodePage) {
  setup_test::ScratchFolder folder(u"Setup 予定表 Łódź ");
  ASSERT_TRUE(folder.created());
  ASSERT_TRUE(folder.AddCopy("Package.msi", setup_test::DatabasePath(database::kLanguagePackOne)));
  ScopedMsiHandle database(platform_);
  ASSERT_EQ(ERROR_SUCCESS, OpenPath(folder.wide_path() + u"\\Package.msi", &database));
  ScopedMsiHandle view(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Query(database, &view));
  MsiHandle fetched = 0;
  ASSERT_EQ(ERROR_SUCCESS, platform_.MsiViewFetch(view.get(), &fetched));
  ScopedMsiHandle record(platform_, fetched);
  EXPECT_EQ(u"1", std::u16string(ReadField(record.get(), 2, true, 260).buffer.c_str()));
}

TEST_F(InstallerDatabaseTest, ClosingAnswersForEachKindOfHandle) {
  ScopedMsiHandle database(platform_);
  ASSERT_EQ(ERROR_SUCCESS, Open(database::kLanguagePackOne, &database));
  const MsiHandle closed = database.get();
  EXPECT_EQ(ERROR_SUCCESS, database.reset()) << "an open database closes";
  EXPECT_EQ(ERROR_INVALID_HANDLE, platform_.MsiCloseHandle(closed)) << "a closed one is refused";
  EXPECT_EQ(ERROR_SUCCESS, platform_.MsiCloseHandle(0)) << "no handle: nothing to close";
}

}  // namespace
}  // namespace setup
