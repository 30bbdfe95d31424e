// Pins the behaviours of the simulated machine that the launcher's logic
// leans on, so that a launcher test passing here means the same on Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "sim/fake_machine.h"
#include "sim/utf16_bytes.h"

namespace setup::sim {
namespace {

constexpr char kProductKey[] = "Installer\\Products\\4F2A";

TEST(SimulatedRegistry, ValueQueriesFollowWindowsSizeRules) {
  const std::vector<std::uint8_t> terminated = Utf16Bytes(u"abc");
  const std::vector<std::uint8_t> unterminated = Utf16Bytes(u"abc", false);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> stored;
    const char16_t* askedName;
    bool sizeOnly;  // pass no data buffer
    std::uint32_t bufferSize;
    Status expectedStatus;
    std::uint32_t expectedSize;
    bool expectBytes;  // the stored bytes land in the buffer
  };
  const Case cases[] = {
      {"size query reports the stored size with terminator", terminated, u"PackageName", true, 0,
       ERROR_SUCCESS, 8, false},
      {"exact buffer receives the bytes", terminated, u"PackageName", false, 8, ERROR_SUCCESS, 8,
       true},
      {"larger buffer: size becomes the stored size", terminated, u"PackageName", false, 16,
       ERROR_SUCCESS, 8, true},
      {"one byte short: more data, size needed, nothing written", terminated, u"PackageName", false,
       7, ERROR_MORE_DATA, 8, false},
      {"value without terminator comes back without one", unterminated, u"PackageName", false, 16,
       ERROR_SUCCESS, 6, true},
      {"value names compare case-insensitively", terminated, u"PACKAGENAME", false, 16,
       ERROR_SUCCESS, 8, true},
      {"absent value", terminated, u"Other", false, 16, ERROR_FILE_NOT_FOUND, 16, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMachine machine;
    machine.SetRawValue(kProductKey, "PackageName", REG_SZ, c.stored);
    RegKey key{};
    ASSERT_EQ(
        machine.RegOpenKeyExW(HKEY_CLASSES_ROOT, u"installer\\PRODUCTS\\4f2a", 0, KEY_READ, &key),
        ERROR_SUCCESS)
        << "key paths compare case-insensitively";
    std::uint8_t buffer[16];
    std::memset(buffer, 0xEE, sizeof buffer);
    std::uint32_t type = 0;
    std::uint32_t size = c.bufferSize;
    const Status status =
        machine.RegQueryValueExW(key, c.askedName, &type, c.sizeOnly ? nullptr : buffer, &size);
    EXPECT_EQ(status, c.expectedStatus) << "status";
    EXPECT_EQ(size, c.expectedSize) << "size reported";
    if (c.expectBytes) {
      EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + size), c.stored) << "bytes as stored";
      // Windows ends data stored without a zero unit with one where there
      // is room, not counted in the size.
      const std::size_t n = c.stored.size();
      const std::size_t added = c.stored[n - 2] != 0 || c.stored[n - 1] != 0 ? 2 : 0;
      EXPECT_EQ(std::vector<std::uint8_t>(buffer + size, buffer + size + added),
                std::vector<std::uint8_t>(added, 0))
          << "a zero unit after unterminated data";
      EXPECT_EQ(buffer[size + added], 0xEE) << "nothing more written";
    } else {
      EXPECT_EQ(buffer[0], 0xEE) << "buffer left untouched";
    }
    if (status != ERROR_FILE_NOT_FOUND) {
      EXPECT_EQ(type, REG_SZ) << "type reported";
    }
    EXPECT_EQ(machine.RegCloseKey(key), ERROR_SUCCESS) << "first close succeeds";
    EXPECT_EQ(machine.RegCloseKey(key), ERROR_INVALID_HANDLE) << "second close is refused";
    EXPECT_EQ(machine.OpenKeyCount(), 0u) << "no key left open";
  }
}

TEST(SimulatedRegistry, AccessIsCheckedAtOpenAndOnTheHandle) {
  FakeMachine machine;
  machine.SetString(kProductKey, "PackageName", "hostrel.msi");
  const std::vector<std::uint8_t> value = Utf16Bytes(u"x");
  const char16_t* const productKey = u"Installer\\Products\\4F2A";
  RegKey key{};

  ASSERT_EQ(machine.RegOpenKeyExW(HKEY_CLASSES_ROOT, productKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(machine.RegSetValueExW(key, u"PackageName", REG_SZ, value.data(), 4),
            ERROR_ACCESS_DENIED)
      << "a read-only handle cannot write";
  EXPECT_EQ(machine.RegDeleteValueW(key, u"PackageName"), ERROR_ACCESS_DENIED)
      << "a read-only handle cannot delete";
  machine.RegCloseKey(key);

  machine.DenyWrite(kProductKey);
  EXPECT_EQ(machine.RegOpenKeyExW(HKEY_CLASSES_ROOT, productKey, 0, KEY_READ_WRITE, &key),
            ERROR_ACCESS_DENIED)
      << "asking to write a write-protected key is refused at open";
  ASSERT_EQ(machine.RegOpenKeyExW(HKEY_CLASSES_ROOT, productKey, 0, KEY_READ, &key), ERROR_SUCCESS)
      << "reading a write-protected key works";
  machine.RegCloseKey(key);

  machine.DenyRead(kProductKey);
  EXPECT_EQ(machine.RegOpenKeyExW(HKEY_CLASSES_ROOT, productKey, 0, KEY_READ, &key),
            ERROR_ACCESS_DENIED)
      << "a read-protected key cannot be opened at all";
  EXPECT_EQ(
      machine.RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Installer\\Products\\Absent", 0, KEY_READ, &key),
      ERROR_FILE_NOT_FOUND)
      << "absent key";
  EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
}

TEST(SimulatedFiles, ShortPathsAndCurrentDirectoryFollowWindowsRules) {
  FakeMachine machine;
  machine.AddFolder("C:\\Patch Files", "PATCHF~1");
  machine.AddFile("C:\\Patch Files\\Files\\Hostrel Update.msp", "HOSTRE~1.MSP");
  struct Case {
    const char16_t* path;
    const char16_t* expected;  // null: the path does not exist
  };
  const Case cases[] = {
      {u"C:\\Patch Files\\Files\\Hostrel Update.msp", u"C:\\PATCHF~1\\Files\\HOSTRE~1.MSP"},
      {u"C:\\patch files\\FILES\\", u"C:\\PATCHF~1\\Files\\"},
      {u"C:\\PATCHF~1\\Files\\hostre~1.msp", u"C:\\PATCHF~1\\Files\\HOSTRE~1.MSP"},
      {u"C:\\", u"C:\\"},
      {u"C:\\Patch Files\\Missing", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(AsciiText(c.path));
    WideChar buffer[260] = {};
    const std::uint32_t length = machine.GetShortPathNameW(c.path, buffer, std::size(buffer));
    if (c.expected == nullptr) {
      EXPECT_EQ(length, 0u) << "a missing path fails";
    } else {
      EXPECT_EQ(std::u16string(buffer), c.expected) << "each component by its short name";
      EXPECT_EQ(length, std::u16string(c.expected).size()) << "length without terminator";
    }
  }

  // "C:\PATCHF~1" is 11 bytes: it needs a buffer of 12.
  WideChar small[12];
  std::fill(std::begin(small), std::end(small), u'x');
  EXPECT_EQ(machine.GetShortPathNameW(u"C:\\Patch Files", small, 11), 12u)
      << "too small: the size needed, terminator included";
  EXPECT_EQ(small[0], u'x') << "too small: nothing written";
  EXPECT_EQ(machine.GetShortPathNameW(u"C:\\Patch Files", small, 12), 11u) << "exact fit";

  machine.SetShortNamesAvailable(false);
  WideChar longForm[260] = {};
  machine.GetShortPathNameW(u"C:\\PATCHF~1", longForm, std::size(longForm));
  EXPECT_EQ(std::u16string(longForm), u"C:\\Patch Files")
      << "without 8.3 names the long names come back";

  machine.SetCurrentDirectory("C:\\Patch Files\\");
  EXPECT_EQ(machine.GetCurrentDirectoryW(14, small), 15u)
      << "current directory too small: size needed with terminator";
  WideChar current[260] = {};
  EXPECT_EQ(machine.GetCurrentDirectoryW(std::size(current), current), 14u) << "length copied";
  EXPECT_EQ(std::u16string(current), u"C:\\Patch Files") << "no trailing backslash";
  machine.SetCurrentDirectory("C:\\");
  machine.GetCurrentDirectoryW(std::size(current), current);
  EXPECT_EQ(std::u16string(current), u"C:\\") << "a drive root keeps its backslash";
  machine.ClearCurrentDirectory();
  EXPECT_EQ(machine.GetCurrentDirectoryW(std::size(current), current), 0u)
      << "no current directory";
}

TEST(SimulatedFiles, SearchMatchesLongAndShortNamesInSearchOrder) {
  FakeMachine machine;
  machine.AddFolder("C:\\Patch Files", "PATCHF~1");
  machine.AddFile("C:\\Patch Files\\Files\\readme.txt");
  machine.AddFile("C:\\Patch Files\\Files\\Hostrel Update.msp", "HOSTRE~1.MSP");
  machine.AddFile("C:\\Patch Files\\Files\\Second.MSP");
  machine.AddFile("C:\\Patch Files\\Notes\\Notes.mspx", "NOTES~1.MSP");

  const auto firstMatch = [&](const char16_t* pattern) -> std::string {
    WideFindData data;
    const FindHandle handle = machine.FindFirstFileW(pattern, &data);
    if (handle == INVALID_FIND_HANDLE) return "<none>";
    EXPECT_EQ(machine.OpenFindHandleCount(), 1u) << "a successful search holds a handle";
    EXPECT_TRUE(machine.FindClose(handle)) << "the handle closes";
    return AsciiText(data.fileName);
  };

  EXPECT_EQ(firstMatch(u"C:\\PATCHF~1\\Files\\\\*.msp"), "Hostrel Update.msp")
      << "short folder names, doubled backslash collapsed, first in search order, long name";
  machine.PutFirstInSearchOrder("C:\\PATCHF~1\\Files\\second.msp");
  EXPECT_EQ(firstMatch(u"C:\\Patch Files\\Files\\*.msp"), "Second.MSP")
      << "search order can be changed; the wildcard ignores case";
  EXPECT_EQ(firstMatch(u"C:\\Patch Files\\Notes\\*.msp"), "Notes.mspx")
      << "the short name matches too, as on Windows";
  EXPECT_EQ(firstMatch(u"C:\\Patch Files\\Files\\*.cab"), "<none>") << "no match";
  EXPECT_EQ(firstMatch(u"C:\\Patch Files\\Absent\\*.msp"), "<none>") << "missing folder";
  EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
}

// Writes `text` through the platform; true when all of it went.
bool WriteText(FakeMachine& machine, KernelHandle file, const std::string& text) {
  std::uint32_t written = 0xEEEE;
  const bool ok = machine.WriteFile(file, reinterpret_cast<const std::uint8_t*>(text.data()),
                                    static_cast<std::uint32_t>(text.size()), &written);
  EXPECT_EQ(written, ok ? text.size() : 0u) << "count written";
  return ok && written == text.size();
}

// CreateFileW as the run log calls it.
KernelHandle CreateLog(FakeMachine& machine, const char16_t* path, Status* error,
                       std::uint32_t disposition = CREATE_NEW) {
  return machine.CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, disposition,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, error);
}

// The run log relies on CREATE_NEW never touching what is there.
TEST(SimulatedFiles, CreateNewMakesOnlyANewFile) {
  constexpr std::uint32_t kCreateAlways = 2;
  constexpr char16_t kKept[] = u"C:\\Run Logs\\Setup Run.log";
  struct Case {
    const char* what;
    const char16_t* path;
    std::uint32_t disposition;
    Status expected;
  };
  const Case cases[] = {
      {"a new name is created", u"C:\\Run Logs\\new.log", CREATE_NEW, ERROR_SUCCESS},
      {"an existing file, names compared without case", u"C:\\Run Logs\\setup run.LOG", CREATE_NEW,
       ERROR_FILE_EXISTS},
      {"an existing file by its short names", u"C:\\RUNLOG~1\\SETUPR~1.LOG", CREATE_NEW,
       ERROR_FILE_EXISTS},
      {"an existing folder", u"C:\\Run Logs", CREATE_NEW, ERROR_FILE_EXISTS},
      {"a missing folder", u"C:\\Missing\\new.log", CREATE_NEW, ERROR_PATH_NOT_FOUND},
      {"a folder through a file", u"C:\\Run Logs\\Setup Run.log\\new.log", CREATE_NEW,
       ERROR_PATH_NOT_FOUND},
      {"a folder the account may not write", u"C:\\Locked\\new.log", CREATE_NEW,
       ERROR_ACCESS_DENIED},
      {"only CREATE_NEW is simulated", u"C:\\Run Logs\\new.log", kCreateAlways, 87},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMachine machine;
    machine.AddFolder("C:\\Run Logs", "RUNLOG~1");
    machine.DenyFileCreation(u"C:\\Locked");
    Status error = 0xEEEE;
    const KernelHandle kept = CreateLog(machine, kKept, &error);
    ASSERT_EQ(error, ERROR_SUCCESS) << "a new file in an existing folder";
    ASSERT_TRUE(WriteText(machine, kept, "kept"));
    ASSERT_TRUE(machine.CloseHandle(kept));
    machine.AddFile(kKept, u"SETUPR~1.LOG");

    error = 0xEEEE;
    const KernelHandle file = CreateLog(machine, c.path, &error, c.disposition);
    EXPECT_EQ(error, c.expected) << "last error";
    EXPECT_EQ(machine.FileContents(kKept), "kept") << "an existing file is never truncated";
    if (c.expected != ERROR_SUCCESS) {
      EXPECT_EQ(file, NO_KERNEL_HANDLE) << "no handle on failure";
      EXPECT_FALSE(machine.PathExists("C:\\Run Logs\\new.log")) << "nothing made";
      EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
      continue;
    }
    EXPECT_EQ(machine.FileContents(c.path), "") << "a new file is empty";
    EXPECT_EQ(machine.OpenFileHandleCount(), 1u) << "the handle is counted";
    EXPECT_FALSE(machine.AllHandlesClosed()) << "an open file counts as a leak";
    EXPECT_TRUE(WriteText(machine, file, "line 1\r\n"));
    EXPECT_TRUE(WriteText(machine, file, "line 2\r\n"));
    EXPECT_EQ(machine.FileContents(u"C:\\RUNLOG~1\\NEW.LOG"), "line 1\r\nline 2\r\n")
        << "the bytes in the order written, found by any spelling of the path";
    EXPECT_TRUE(machine.CloseHandle(file)) << "the file handle closes";
    EXPECT_EQ(machine.KernelHandleCloses().back(), "file:C:\\Run Logs\\new.log");
    EXPECT_FALSE(WriteText(machine, file, "x")) << "a closed handle writes nothing";
    EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
  }
}

TEST(SimulatedFiles, AFailedWriteWritesNothing) {
  constexpr Status kSharingViolation = 32;
  FakeMachine machine;
  WideChar temp[260] = {};
  const std::u16string expectedTemp = u"C:\\Users\\Setup\\AppData\\Local\\Temp\\";
  ASSERT_EQ(machine.GetTempPathW(std::size(temp), temp), expectedTemp.size()) << "length copied";
  EXPECT_EQ(std::u16string(temp), expectedTemp) << "with its trailing backslash";

  const std::u16string path = expectedTemp + u"run.log";
  Status error = 0xEEEE;
  const KernelHandle log = CreateLog(machine, path.c_str(), &error);
  ASSERT_NE(log, NO_KERNEL_HANDLE) << "the default temp folder exists, error " << error;
  machine.SetFreeDiskSpace(6);
  EXPECT_TRUE(WriteText(machine, log, "abcd")) << "fits";
  EXPECT_FALSE(WriteText(machine, log, "efg")) << "does not fit: fails whole";
  machine.SetDiskFull(false);
  EXPECT_TRUE(WriteText(machine, log, "efg")) << "space again";
  machine.FailCall(Operation::WriteFile, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(WriteText(machine, log, "h")) << "planned failure";
  EXPECT_EQ(machine.FileContents(path), "abcdefg") << "failed writes left no bytes";

  Status mutexError = ERROR_SUCCESS;
  const KernelHandle mutex = machine.CreateMutexExW(u"Local\\Launcher", &mutexError);
  EXPECT_FALSE(WriteText(machine, mutex, "x")) << "a mutex is no file";
  machine.FailCall(Operation::CreateFileW, kSharingViolation);
  EXPECT_EQ(CreateLog(machine, (expectedTemp + u"other.log").c_str(), &error), NO_KERNEL_HANDLE);
  EXPECT_EQ(error, kSharingViolation) << "a planned failure is the last error";
  EXPECT_FALSE(machine.FileContents(expectedTemp + u"other.log")) << "nothing made";
  machine.CloseHandle(mutex);
  machine.CloseHandle(log);
  EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
}

// The set-up calls and the test helpers convert narrow text as Windows does.
TEST(SimulatedCodePages, ConversionsFollowWindowsRules) {
  struct Case {
    const char* what;
    std::uint32_t systemCodePage;
    std::string narrow;
    std::u16string wide;
  };
  const Case cases[] = {
      {"1252 letters", 1252, "\xE9t\xE9", u"\u00E9t\u00E9"},
      {"1252 bytes undefined in the standard map to C1 controls", 1252, "\x81\x8D\x8F\x90\x9D",
       u"\u0081\u008D\u008F\u0090\u009D"},
      {"932 double-byte characters", 932, "\x93\xFA\x96\x7B", u"\u65E5\u672C"},
      {"932 keeps the backslash byte", 932, "C:\\", u"C:\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMachine machine;
    machine.SetSystemCodePage(c.systemCodePage);
    EXPECT_EQ(machine.DecodeAnsi(c.narrow), c.wide) << "decoded";
    EXPECT_EQ(machine.EncodeAnsi(c.wide), c.narrow) << "encoded back";
  }
  FakeMachine machine;
  EXPECT_EQ(machine.EncodeAnsi(u"a\u65E5"), "a?") << "a character 1252 lacks becomes '?'";
}

}  // namespace
}  // namespace setup::sim
