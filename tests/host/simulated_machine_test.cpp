// Pins the behaviours of the simulated machine that the launcher's logic
// leans on, so that a launcher test passing here means the same on Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sim/fake_machine.h"

namespace setup::sim {
namespace {

constexpr char kProductKey[] = "Installer\\Products\\4F2A";

TEST(SimulatedRegistry, ValueQueriesFollowWindowsSizeRules) {
  const std::vector<std::uint8_t> terminated{'a', 'b', 'c', 0};
  const std::vector<std::uint8_t> unterminated{'a', 'b', 'c'};
  struct Case {
    const char* what;
    std::vector<std::uint8_t> stored;
    const char* askedName;
    bool sizeOnly;  // pass no data buffer
    std::uint32_t bufferSize;
    Status expectedStatus;
    std::uint32_t expectedSize;
    bool expectBytes;  // the stored bytes land in the buffer
  };
  const Case cases[] = {
      {"size query reports the stored size with terminator", terminated, "PackageName", true, 0,
       ERROR_SUCCESS, 4, false},
      {"exact buffer receives the bytes", terminated, "PackageName", false, 4, ERROR_SUCCESS, 4,
       true},
      {"larger buffer: size becomes the stored size", terminated, "PackageName", false, 16,
       ERROR_SUCCESS, 4, true},
      {"one byte short: more data, size needed, nothing written", terminated, "PackageName", false,
       3, ERROR_MORE_DATA, 4, false},
      {"value without terminator comes back without one", unterminated, "PackageName", false, 16,
       ERROR_SUCCESS, 3, true},
      {"value names compare case-insensitively", terminated, "PACKAGENAME", false, 16,
       ERROR_SUCCESS, 4, true},
      {"absent value", terminated, "Other", false, 16, ERROR_FILE_NOT_FOUND, 16, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMachine machine;
    machine.SetRawValue(kProductKey, "PackageName", REG_SZ, c.stored);
    RegKey key{};
    ASSERT_EQ(
        machine.RegOpenKeyExA(HKEY_CLASSES_ROOT, "installer\\PRODUCTS\\4f2a", 0, KEY_READ, &key),
        ERROR_SUCCESS)
        << "key paths compare case-insensitively";
    std::uint8_t buffer[16];
    std::memset(buffer, 0xEE, sizeof buffer);
    std::uint32_t type = 0;
    std::uint32_t size = c.bufferSize;
    const Status status =
        machine.RegQueryValueExA(key, c.askedName, &type, c.sizeOnly ? nullptr : buffer, &size);
    EXPECT_EQ(status, c.expectedStatus) << "status";
    EXPECT_EQ(size, c.expectedSize) << "size reported";
    if (c.expectBytes) {
      EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + size), c.stored) << "bytes as stored";
      EXPECT_EQ(buffer[size], 0xEE) << "no terminator added after the stored bytes";
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
  const std::uint8_t value[] = {'x', 0};
  RegKey key{};

  ASSERT_EQ(machine.RegOpenKeyExA(HKEY_CLASSES_ROOT, kProductKey, 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(machine.RegSetValueExA(key, "PackageName", REG_SZ, value, 2), ERROR_ACCESS_DENIED)
      << "a read-only handle cannot write";
  EXPECT_EQ(machine.RegDeleteValueA(key, "PackageName"), ERROR_ACCESS_DENIED)
      << "a read-only handle cannot delete";
  machine.RegCloseKey(key);

  machine.DenyWrite(kProductKey);
  EXPECT_EQ(machine.RegOpenKeyExA(HKEY_CLASSES_ROOT, kProductKey, 0, KEY_READ_WRITE, &key),
            ERROR_ACCESS_DENIED)
      << "asking to write a write-protected key is refused at open";
  ASSERT_EQ(machine.RegOpenKeyExA(HKEY_CLASSES_ROOT, kProductKey, 0, KEY_READ, &key), ERROR_SUCCESS)
      << "reading a write-protected key works";
  machine.RegCloseKey(key);

  machine.DenyRead(kProductKey);
  EXPECT_EQ(machine.RegOpenKeyExA(HKEY_CLASSES_ROOT, kProductKey, 0, KEY_READ, &key),
            ERROR_ACCESS_DENIED)
      << "a read-protected key cannot be opened at all";
  EXPECT_EQ(
      machine.RegOpenKeyExA(HKEY_CLASSES_ROOT, "Installer\\Products\\Absent", 0, KEY_READ, &key),
      ERROR_FILE_NOT_FOUND)
      << "absent key";
  EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
}

TEST(SimulatedFiles, ShortPathsAndCurrentDirectoryFollowWindowsRules) {
  FakeMachine machine;
  machine.AddFolder("C:\\Patch Files", "PATCHF~1");
  machine.AddFile("C:\\Patch Files\\Files\\Hostrel Update.msp", "HOSTRE~1.MSP");
  struct Case {
    const char* path;
    const char* expected;  // null: the path does not exist
  };
  const Case cases[] = {
      {"C:\\Patch Files\\Files\\Hostrel Update.msp", "C:\\PATCHF~1\\Files\\HOSTRE~1.MSP"},
      {"C:\\patch files\\FILES\\", "C:\\PATCHF~1\\Files\\"},
      {"C:\\PATCHF~1\\Files\\hostre~1.msp", "C:\\PATCHF~1\\Files\\HOSTRE~1.MSP"},
      {"C:\\", "C:\\"},
      {"C:\\Patch Files\\Missing", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    char buffer[260] = {};
    const std::uint32_t length = machine.GetShortPathNameA(c.path, buffer, sizeof buffer);
    if (c.expected == nullptr) {
      EXPECT_EQ(length, 0u) << "a missing path fails";
    } else {
      EXPECT_STREQ(buffer, c.expected) << "each component by its short name";
      EXPECT_EQ(length, std::strlen(c.expected)) << "length without terminator";
    }
  }

  // "C:\PATCHF~1" is 11 bytes: it needs a buffer of 12.
  char small[12];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(machine.GetShortPathNameA("C:\\Patch Files", small, 11), 12u)
      << "too small: the size needed, terminator included";
  EXPECT_EQ(small[0], 'x') << "too small: nothing written";
  EXPECT_EQ(machine.GetShortPathNameA("C:\\Patch Files", small, 12), 11u) << "exact fit";

  machine.SetShortNamesAvailable(false);
  char longForm[260] = {};
  machine.GetShortPathNameA("C:\\PATCHF~1", longForm, sizeof longForm);
  EXPECT_STREQ(longForm, "C:\\Patch Files") << "without 8.3 names the long names come back";

  machine.SetCurrentDirectory("C:\\Patch Files\\");
  EXPECT_EQ(machine.GetCurrentDirectoryA(14, small), 15u)
      << "current directory too small: size needed with terminator";
  char current[260] = {};
  EXPECT_EQ(machine.GetCurrentDirectoryA(sizeof current, current), 14u) << "length copied";
  EXPECT_STREQ(current, "C:\\Patch Files") << "no trailing backslash";
  machine.SetCurrentDirectory("C:\\");
  machine.GetCurrentDirectoryA(sizeof current, current);
  EXPECT_STREQ(current, "C:\\") << "a drive root keeps its backslash";
  machine.ClearCurrentDirectory();
  EXPECT_EQ(machine.GetCurrentDirectoryA(sizeof current, current), 0u) << "no current directory";
}

TEST(SimulatedFiles, SearchMatchesLongAndShortNamesInSearchOrder) {
  FakeMachine machine;
  machine.AddFolder("C:\\Patch Files", "PATCHF~1");
  machine.AddFile("C:\\Patch Files\\Files\\readme.txt");
  machine.AddFile("C:\\Patch Files\\Files\\Hostrel Update.msp", "HOSTRE~1.MSP");
  machine.AddFile("C:\\Patch Files\\Files\\Second.MSP");
  machine.AddFile("C:\\Patch Files\\Notes\\Notes.mspx", "NOTES~1.MSP");

  const auto firstMatch = [&](const char* pattern) -> std::string {
    FindData data;
    const FindHandle handle = machine.FindFirstFileA(pattern, &data);
    if (handle == INVALID_FIND_HANDLE) return "<none>";
    EXPECT_EQ(machine.OpenFindHandleCount(), 1u) << "a successful search holds a handle";
    EXPECT_TRUE(machine.FindClose(handle)) << "the handle closes";
    return data.fileName;
  };

  EXPECT_EQ(firstMatch("C:\\PATCHF~1\\Files\\\\*.msp"), "Hostrel Update.msp")
      << "short folder names, doubled backslash collapsed, first in search order, long name";
  machine.PutFirstInSearchOrder("C:\\PATCHF~1\\Files\\second.msp");
  EXPECT_EQ(firstMatch("C:\\Patch Files\\Files\\*.msp"), "Second.MSP")
      << "search order can be changed; the wildcard ignores case";
  EXPECT_EQ(firstMatch("C:\\Patch Files\\Notes\\*.msp"), "Notes.mspx")
      << "the short name matches too, as on Windows";
  EXPECT_EQ(firstMatch("C:\\Patch Files\\Files\\*.cab"), "<none>") << "no match";
  EXPECT_EQ(firstMatch("C:\\Patch Files\\Absent\\*.msp"), "<none>") << "missing folder";
  EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
}

TEST(SimulatedCodePages, ConversionsFollowWindowsRules) {
  struct Case {
    const char* what;
    std::uint32_t threadCodePage;
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
    machine.SetThreadCodePage(c.threadCodePage);
    WideChar wide[16] = {};
    const int wideLength = machine.MultiByteToWideChar(CP_THREAD_ACP, 0, c.narrow.data(),
                                                       static_cast<int>(c.narrow.size()), wide, 16);
    EXPECT_EQ(std::u16string(wide, static_cast<std::size_t>(wideLength)), c.wide) << "decoded";
    char narrow[16] = {};
    const int narrowLength = machine.WideCharToMultiByte(
        CP_THREAD_ACP, 0, c.wide.data(), static_cast<int>(c.wide.size()), narrow, 16);
    EXPECT_EQ(std::string(narrow, static_cast<std::size_t>(narrowLength)), c.narrow)
        << "encoded back";
  }

  FakeMachine machine;
  EXPECT_EQ(machine.MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4)
      << "-1 counts the terminator; length 0 asks for the size";
  WideChar target[5];
  std::fill(std::begin(target), std::end(target), u'#');
  EXPECT_EQ(machine.MultiByteToWideChar(CP_ACP, 0, "abc", -1, target, 4), 4) << "exact fit";
  EXPECT_EQ(target[3], u'\0') << "the terminator is converted";
  std::fill(std::begin(target), std::end(target), u'#');
  EXPECT_EQ(machine.MultiByteToWideChar(CP_ACP, 0, "abc", -1, target, 3), 0) << "too small";
  EXPECT_EQ(target[3], u'#') << "nothing written past the target";
  char narrow[8] = {};
  EXPECT_EQ(machine.WideCharToMultiByte(CP_ACP, 0, u"a\u65E5", -1, narrow, 8), 3)
      << "-1 includes the terminator";
  EXPECT_STREQ(narrow, "a?") << "a character 1252 lacks becomes '?'";
}

}  // namespace
}  // namespace setup::sim
