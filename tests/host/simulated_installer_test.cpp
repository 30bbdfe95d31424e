// Pins the installer-database behaviours of the simulated machine that the
// launcher's logic leans on, read from real database files built for each
// test, so that a launcher test passing here means the same on Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "discovery/language_pack_package.h"
#include "sim/fake_machine.h"
#include "sim/host_descriptors.h"
#include "sim/installer_database_builder.h"
#include "sim/installer_status.h"
#include "sim/scoped_temp_dir.h"
#include "sim/utf16_bytes.h"

namespace setup::sim {
namespace {

constexpr char16_t kDatabasePath[] = u"C:\\Patch Files\\Hostrel Update.msi";
constexpr char16_t kShortDatabasePath[] = u"C:\\PATCHF~1\\HOSTRE~1.MSI";

const std::vector<PropertyRow> kLanguagePackRows{
    {"ProductName", "Quarrix Hostrel"},
    {"LanguagePackInstaller", "1"},
    {"ProductLanguage", "1031"},
};

class SimulatedInstallerTest : public ::testing::Test {
 protected:
  SimulatedInstallerTest() { machine.AddFolder("C:\\Patch Files", "PATCHF~1"); }

  void TearDown() override {
    EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
    EXPECT_TRUE(machine.InternalErrors().empty()) << machine.InternalErrors().front();
  }

  // Builds a database with `rows` (none: without Property table) and puts
  // it at kDatabasePath.
  void AddDatabase(const std::optional<std::vector<PropertyRow>>& rows) {
    const std::string host = temp.File("update.msi");
    if (rows) {
      BuildDatabaseWithProperties(host, *rows);
    } else {
      BuildDatabaseWithoutPropertyTable(host);
    }
    machine.AddInstallerDatabase(sim::AsciiText(kDatabasePath), host, "HOSTRE~1.MSI");
  }

  // Opens the database, its view on the launcher's query and executes it;
  // every step must work.
  void OpenExecutedView(MsiHandle* database, MsiHandle* view) {
    ASSERT_EQ(machine.MsiOpenDatabaseW(kShortDatabasePath, 0, database), ERROR_SUCCESS)
        << "open by short path";
    ASSERT_EQ(machine.MsiDatabaseOpenViewW(*database, kLanguagePackQuery, view), ERROR_SUCCESS)
        << "the launcher's query opens";
    ASSERT_EQ(machine.MsiViewExecute(*view, 0), ERROR_SUCCESS) << "view executes";
  }

  ScopedTempDir temp;
  FakeMachine machine;
};

TEST_F(SimulatedInstallerTest, LauncherQueryFetchesThePropertyValue) {
  AddDatabase(kLanguagePackRows);
  WideFindData found;
  const FindHandle search = machine.FindFirstFileW(u"C:\\PATCHF~1\\*.msi", &found);
  ASSERT_NE(search, INVALID_FIND_HANDLE) << "the database is a file in the simulated tree";
  EXPECT_EQ(std::u16string(found.fileName), u"Hostrel Update.msi") << "found by its long name";
  machine.FindClose(search);

  MsiHandle database = 0;
  MsiHandle view = 0;
  OpenExecutedView(&database, &view);

  MsiHandle record = 0;
  ASSERT_EQ(machine.MsiViewFetch(view, &record), ERROR_SUCCESS) << "the row is found";
  WideChar value[260] = {};
  std::uint32_t count = std::size(value);
  EXPECT_EQ(machine.MsiRecordGetStringW(record, 2, value, &count), ERROR_SUCCESS) << "field 2";
  EXPECT_EQ(std::u16string(value), u"1") << "field 2 is the value";
  EXPECT_EQ(count, 1u) << "count becomes the length";
  count = std::size(value);
  EXPECT_EQ(machine.MsiRecordGetStringW(record, 1, value, &count), ERROR_SUCCESS) << "field 1";
  EXPECT_EQ(std::u16string(value), u"LanguagePackInstaller") << "field 1 is the name";

  MsiHandle next = 77;
  EXPECT_EQ(machine.MsiViewFetch(view, &next), ERROR_NO_MORE_ITEMS) << "one row only";
  EXPECT_EQ(next, 0u) << "no record past the last row";

  EXPECT_EQ(machine.MsiCloseHandle(record), ERROR_SUCCESS) << "record closes";
  EXPECT_EQ(machine.MsiCloseHandle(view), ERROR_SUCCESS) << "view closes";
  EXPECT_EQ(machine.MsiCloseHandle(database), ERROR_SUCCESS) << "database closes";
  EXPECT_EQ(machine.InstallerHandleCloses(),
            (std::vector<std::string>{"record", "view", "database"}))
      << "close order and kinds recorded";

  const std::vector<InstallerCall>& calls = machine.InstallerCalls();
  ASSERT_EQ(calls.size(), 10u) << "every installer call recorded";
  EXPECT_EQ(calls[0].operation, Operation::MsiOpenDatabaseW) << "first call opens";
  EXPECT_EQ(calls[0].text, sim::AsciiText(kShortDatabasePath)) << "path recorded as passed";
  EXPECT_EQ(calls[0].persistMode, 0u) << "persist mode recorded";
  EXPECT_EQ(calls[1].text, sim::AsciiText(kLanguagePackQuery)) << "query recorded as passed";
  EXPECT_EQ(calls[4].field, 2u) << "field read recorded";
  EXPECT_EQ(calls[6].result, ERROR_NO_MORE_ITEMS) << "results recorded";
}

TEST_F(SimulatedInstallerTest, QueryOutcomeFollowsTheDatabaseContent) {
  struct Case {
    const char* what;
    std::optional<std::vector<PropertyRow>> rows;  // none: no Property table
    Status expectedViewStatus;
    Status expectedFetchStatus;  // when the view opened
  };
  const Case cases[] = {
      {"row present", kLanguagePackRows, ERROR_SUCCESS, ERROR_SUCCESS},
      {"no such row", std::vector<PropertyRow>{{"ProductName", "Quarrix Hostrel"}}, ERROR_SUCCESS,
       ERROR_NO_MORE_ITEMS},
      {"no Property table", std::nullopt, ERROR_BAD_QUERY_SYNTAX, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMachine fresh;
    const std::string host = temp.File(std::string(c.what) + ".msi");
    if (c.rows) {
      BuildDatabaseWithProperties(host, *c.rows);
    } else {
      BuildDatabaseWithoutPropertyTable(host);
    }
    fresh.AddInstallerDatabase(sim::AsciiText(kDatabasePath), host);
    MsiHandle database = 0;
    ASSERT_EQ(fresh.MsiOpenDatabaseW(kDatabasePath, 0, &database), ERROR_SUCCESS) << "open";
    MsiHandle view = 0;
    ASSERT_EQ(fresh.MsiDatabaseOpenViewW(database, kLanguagePackQuery, &view), c.expectedViewStatus)
        << "view status";
    if (c.expectedViewStatus == ERROR_SUCCESS) {
      ASSERT_EQ(fresh.MsiViewExecute(view, 0), ERROR_SUCCESS) << "execute";
      MsiHandle record = 0;
      EXPECT_EQ(fresh.MsiViewFetch(view, &record), c.expectedFetchStatus) << "fetch status";
      fresh.MsiCloseHandle(record);
      fresh.MsiCloseHandle(view);
    } else {
      EXPECT_EQ(fresh.OpenInstallerHandleCount(), 1u) << "only the database is open";
    }
    fresh.MsiCloseHandle(database);
    EXPECT_TRUE(fresh.AllHandlesClosed()) << fresh.OpenHandlesReport();
  }
}

TEST_F(SimulatedInstallerTest, OpeningFailsWithoutAReadableDatabase) {
  machine.AddFile("C:\\Patch Files\\Plain.msi");
  const std::string textFile = temp.File("text.msi");
  std::ofstream(textFile) << "not a database\n";
  machine.AddInstallerDatabase("C:\\Patch Files\\Text.msi", textFile);
  machine.AddInstallerDatabase("C:\\Patch Files\\Missing.msi", temp.File("never-built.msi"));
  AddDatabase(kLanguagePackRows);
  machine.SetCurrentDirectory("C:\\Patch Files");
  struct Case {
    const char16_t* path;
    std::uint32_t persistMode;
    Status expected;
  };
  const Case cases[] = {
      {u"C:\\Patch Files\\Absent.msi", 0, ERROR_OPEN_FAILED},
      {u"C:\\Absent Folder\\Hostrel Update.msi", 0, ERROR_OPEN_FAILED},
      {u"C:\\Patch Files", 0, ERROR_OPEN_FAILED},               // a folder
      {u"C:\\Patch Files\\Plain.msi", 0, ERROR_OPEN_FAILED},    // no database behind it
      {u"C:\\Patch Files\\Text.msi", 0, ERROR_OPEN_FAILED},     // not a database
      {u"C:\\Patch Files\\Missing.msi", 0, ERROR_OPEN_FAILED},  // host file gone
      {kDatabasePath, 1, ERROR_INVALID_PARAMETER},              // only read-only opens
      {u"c:\\patch files\\HOSTREL UPDATE.MSI", 0, ERROR_SUCCESS},
      {u"Hostrel Update.msi", 0, ERROR_SUCCESS},  // relative to the current directory
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(sim::AsciiText(c.path));
    MsiHandle database = 0;
    EXPECT_EQ(machine.MsiOpenDatabaseW(c.path, c.persistMode, &database), c.expected)
        << "open status";
    EXPECT_EQ(database != 0, c.expected == ERROR_SUCCESS) << "a handle only on success";
    EXPECT_EQ(machine.InstallerCalls().back().result, c.expected) << "result recorded";
    machine.MsiCloseHandle(database);
  }
}

// libmsi leaves a database file's descriptor open after the database is
// gone; over millions of fuzzed runs that exhausted the process's limit.
TEST_F(SimulatedInstallerTest, NoDescriptorOutlivesItsDatabase) {
  AddDatabase(kLanguagePackRows);
  const std::string host = temp.File("update.msi");
  enum class Ending { InOrder, DatabaseBeforeView, ProcessEnds };
  for (const Ending ending : {Ending::InOrder, Ending::DatabaseBeforeView, Ending::ProcessEnds}) {
    SCOPED_TRACE(static_cast<int>(ending));
    MsiHandle database = 0;
    MsiHandle view = 0;
    OpenExecutedView(&database, &view);
    MsiHandle record = 0;
    ASSERT_EQ(machine.MsiViewFetch(view, &record), ERROR_SUCCESS) << "the row is found";
    ASSERT_FALSE(DescriptorsOpenOn(host).empty()) << "the file is open while read";
    if (ending == Ending::ProcessEnds) {
      machine.EndProcess();
    } else {
      machine.MsiCloseHandle(record);
      machine.MsiCloseHandle(ending == Ending::InOrder ? view : database);
      if (ending == Ending::DatabaseBeforeView) {
        EXPECT_FALSE(DescriptorsOpenOn(host).empty()) << "the view still reads the database";
      }
      machine.MsiCloseHandle(ending == Ending::InOrder ? database : view);
    }
    EXPECT_TRUE(DescriptorsOpenOn(host).empty()) << "closed with the last handle";
  }
}

TEST_F(SimulatedInstallerTest, GetStringFollowsWindowsSizeRules) {
  AddDatabase(kLanguagePackRows);
  MsiHandle database = 0;
  MsiHandle view = 0;
  OpenExecutedView(&database, &view);
  MsiHandle record = 0;
  ASSERT_EQ(machine.MsiViewFetch(view, &record), ERROR_SUCCESS) << "fetch";

  constexpr std::uint32_t kNameLength = 21;  // "LanguagePackInstaller"
  struct Case {
    const char* what;
    std::uint32_t field;
    bool withBuffer;
    std::uint32_t capacity;
    Status expectedStatus;
    std::uint32_t expectedCount;
    const char16_t* expectedText;  // null: buffer untouched
  };
  const Case cases[] = {
      {"fits with terminator", 1, true, 22, ERROR_SUCCESS, kNameLength, u"LanguagePackInstaller"},
      {"no room for terminator: cut", 1, true, 21, ERROR_MORE_DATA, kNameLength,
       u"LanguagePackInstalle"},
      {"small buffer: cut", 1, true, 5, ERROR_MORE_DATA, kNameLength, u"Lang"},
      {"one unit: terminator only", 1, true, 1, ERROR_MORE_DATA, kNameLength, u""},
      {"no capacity: nothing written", 1, true, 0, ERROR_MORE_DATA, kNameLength, nullptr},
      {"no buffer: length only", 1, false, 0, ERROR_SUCCESS, kNameLength, nullptr},
      {"field out of range: empty", 9, true, 22, ERROR_SUCCESS, 0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WideChar buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    std::uint32_t count = c.capacity;
    EXPECT_EQ(machine.MsiRecordGetStringW(record, c.field, c.withBuffer ? buffer : nullptr, &count),
              c.expectedStatus)
        << "status";
    EXPECT_EQ(count, c.expectedCount) << "count becomes the full length";
    if (c.expectedText != nullptr) {
      EXPECT_EQ(std::u16string(buffer), c.expectedText) << "text written";
      EXPECT_EQ(buffer[TextLength(c.expectedText) + 1], u'#') << "nothing past the terminator";
    } else {
      EXPECT_EQ(buffer[0], u'#') << "buffer untouched";
    }
  }
  machine.MsiCloseHandle(record);
  machine.MsiCloseHandle(view);
  machine.MsiCloseHandle(database);
}

TEST_F(SimulatedInstallerTest, TextComesInUtf16) {
  AddDatabase(std::vector<PropertyRow>{{"LanguagePackInstaller",
                                        "Gr\xC3\xB6\xC3\x9F"
                                        "e"}});
  MsiHandle database = 0;
  MsiHandle view = 0;
  OpenExecutedView(&database, &view);
  MsiHandle record = 0;
  ASSERT_EQ(machine.MsiViewFetch(view, &record), ERROR_SUCCESS) << "fetch";
  WideChar value[16] = {};
  std::uint32_t count = std::size(value);
  EXPECT_EQ(machine.MsiRecordGetStringW(record, 2, value, &count), ERROR_SUCCESS) << "read";
  EXPECT_EQ(std::u16string(value), u"Gr\u00f6\u00dfe") << "the value whole";
  EXPECT_EQ(count, 5u) << "length in units";
  machine.MsiCloseHandle(record);
  machine.MsiCloseHandle(view);
  machine.MsiCloseHandle(database);
}

TEST_F(SimulatedInstallerTest, HandlesOfTheWrongKindOrStateAreRefused) {
  AddDatabase(kLanguagePackRows);
  MsiHandle database = 0;
  ASSERT_EQ(machine.MsiOpenDatabaseW(kDatabasePath, 0, &database), ERROR_SUCCESS) << "open";
  MsiHandle view = 0;
  ASSERT_EQ(machine.MsiDatabaseOpenViewW(database, kLanguagePackQuery, &view), ERROR_SUCCESS)
      << "view";
  MsiHandle record = 0;
  EXPECT_EQ(machine.MsiViewFetch(view, &record), ERROR_FUNCTION_FAILED) << "fetch before execute";
  EXPECT_EQ(machine.MsiViewExecute(database, 0), ERROR_INVALID_HANDLE) << "execute a database";
  MsiHandle other = 0;
  EXPECT_EQ(machine.MsiDatabaseOpenViewW(view, kLanguagePackQuery, &other), ERROR_INVALID_HANDLE)
      << "open a view on a view";
  ASSERT_EQ(machine.MsiViewExecute(view, 0), ERROR_SUCCESS) << "execute";
  EXPECT_EQ(machine.MsiViewFetch(database, &record), ERROR_INVALID_HANDLE) << "fetch a database";
  WideChar value[8];
  std::uint32_t count = std::size(value);
  EXPECT_EQ(machine.MsiRecordGetStringW(view, 1, value, &count), ERROR_INVALID_HANDLE)
      << "read a view as a record";

  EXPECT_EQ(machine.MsiCloseHandle(database), ERROR_SUCCESS) << "database closes first";
  ASSERT_EQ(machine.MsiViewFetch(view, &record), ERROR_SUCCESS)
      << "the view keeps its database alive, as on Windows";
  EXPECT_EQ(machine.MsiCloseHandle(record), ERROR_SUCCESS) << "record closes";
  EXPECT_EQ(machine.MsiCloseHandle(record), ERROR_INVALID_HANDLE) << "second close refused";
  EXPECT_EQ(machine.MsiCloseHandle(0x7777), ERROR_INVALID_HANDLE) << "unknown handle refused";
  EXPECT_EQ(machine.MsiCloseHandle(0), ERROR_SUCCESS) << "closing no handle is no error";
  EXPECT_EQ(machine.MsiCloseHandle(view), ERROR_SUCCESS) << "view closes";
  EXPECT_EQ(machine.InstallerHandleCloses(),
            (std::vector<std::string>{"database", "record", "view"}))
      << "only real closes are recorded";
}

TEST_F(SimulatedInstallerTest, EachEntryCanBeMadeToFail) {
  const std::string host = temp.File("update.msi");
  BuildDatabaseWithProperties(host, kLanguagePackRows);
  constexpr Status kPlanned = 1627;
  struct Case {
    Operation operation;
    std::size_t expectedCalls;  // of that entry in the whole sequence
  };
  const Case cases[] = {
      {Operation::MsiOpenDatabaseW, 1},
      {Operation::MsiDatabaseOpenViewW, 1},
      {Operation::MsiViewExecute, 1},
      {Operation::MsiViewFetch, 1},
      {Operation::MsiRecordGetStringW, 1},
      {Operation::MsiCloseHandle, 3},  // the record's close fails; view and database follow
  };
  for (const Case& c : cases) {
    const Operation operation = c.operation;
    SCOPED_TRACE(OperationName(operation));
    FakeMachine fresh;
    fresh.AddInstallerDatabase(sim::AsciiText(kDatabasePath), host);
    fresh.FailCall(operation, kPlanned);
    // The launcher's sequence: stop at the first failure, close what was
    // opened, the view before the database.
    MsiHandle database = 0;
    MsiHandle view = 0;
    Status status = fresh.MsiOpenDatabaseW(kDatabasePath, 0, &database);
    if (status == ERROR_SUCCESS) {
      status = fresh.MsiDatabaseOpenViewW(database, kLanguagePackQuery, &view);
    }
    if (status == ERROR_SUCCESS) status = fresh.MsiViewExecute(view, 0);
    if (status == ERROR_SUCCESS) {
      MsiHandle record = 0;
      status = fresh.MsiViewFetch(view, &record);
      if (status == ERROR_SUCCESS) {
        WideChar value[8];
        std::uint32_t count = std::size(value);
        status = fresh.MsiRecordGetStringW(record, 2, value, &count);
        const Status closed = fresh.MsiCloseHandle(record);
        if (status == ERROR_SUCCESS) status = closed;
      }
    }
    if (view != 0) fresh.MsiCloseHandle(view);
    if (database != 0) fresh.MsiCloseHandle(database);

    EXPECT_EQ(status, kPlanned) << "the planned status comes back";
    EXPECT_EQ(fresh.CallCount(operation), c.expectedCalls) << "failed calls are counted too";
    EXPECT_TRUE(fresh.AllHandlesClosed())
        << "a failed call opens nothing and a failed close still releases: "
        << fresh.OpenHandlesReport();
  }
}

}  // namespace
}  // namespace setup::sim
