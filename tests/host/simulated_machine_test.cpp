// Pins the behaviours of the simulated machine that the launcher's logic
// leans on, so that a launcher test passing here means the same on Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/fake_machine.h"
#include "sim/utf16_bytes.h"

namespace setup::sim {
namespace {

constexpr char kProductKey[] = "Installer\\Products\\4F2A";

// Keys the account may not write or read; what a read-only handle refuses
// is part of the contract (tests/contract).
TEST(SimulatedRegistry, DeniedKeysAreRefusedAtOpen) {
  FakeMachine machine;
  machine.SetString(kProductKey, "PackageName", "hostrel.msi");
  const char16_t* const productKey = u"Installer\\Products\\4F2A";
  RegKey key{};

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
  EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
}

// Short names a test chose, each component by its own; the size rules and
// the current directory are part of the contract (tests/contract).
TEST(SimulatedFiles, ShortPathsFollowWindowsRules) {
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

  machine.SetShortNamesAvailable(false);
  WideChar longForm[260] = {};
  machine.GetShortPathNameW(u"C:\\PATCHF~1", longForm, std::size(longForm));
  EXPECT_EQ(std::u16string(longForm), u"C:\\Patch Files")
      << "without 8.3 names the long names come back";

  machine.ClearCurrentDirectory();
  WideChar current[260] = {};
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

// What the simulated CreateFileW does beyond the contract (tests/contract):
// folders a test denies, the one disposition it knows, and the records the
// leak checks read.
// A name is at most 255 units on every file system Windows mounts, so a
// search never reports one cut to the 259 units a find record holds.
TEST(SimulatedFiles, NamesLongerThan255UnitsCannotExist) {
  FakeMachine machine;
  const std::string longest = std::string(251, 'n') + ".msp";
  machine.AddFile("C:\\P\\" + longest);
  EXPECT_TRUE(machine.PathExists("C:\\P\\" + longest));
  EXPECT_THROW(machine.AddFile("C:\\P\\x" + longest), std::invalid_argument);
  EXPECT_THROW(machine.AddFolder("C:\\" + std::string(256, 'f') + "\\P"), std::invalid_argument);
}

TEST(SimulatedFiles, CreateNewRefusalsAndFileHandleRecords) {
  constexpr std::uint32_t kCreateAlways = 2;
  struct Case {
    const char* what;
    const char16_t* path;
    std::uint32_t disposition;
    Status expected;
  };
  const Case cases[] = {
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
    EXPECT_EQ(CreateLog(machine, c.path, &error, c.disposition), NO_KERNEL_HANDLE);
    EXPECT_EQ(error, c.expected) << "last error";
    EXPECT_FALSE(machine.FileContents(c.path)) << "nothing made";
    EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
  }

  FakeMachine machine;
  machine.AddFolder("C:\\Run Logs", "RUNLOG~1");
  Status error = 0xEEEE;
  const KernelHandle file = CreateLog(machine, u"C:\\RUNLOG~1\\new.log", &error);
  ASSERT_NE(file, NO_KERNEL_HANDLE) << "error " << error;
  EXPECT_EQ(machine.OpenFileHandleCount(), 1u) << "the handle is counted";
  EXPECT_FALSE(machine.AllHandlesClosed()) << "an open file counts as a leak";
  EXPECT_THROW(machine.RemoveFolder(u"C:\\RUNLOG~1"), std::invalid_argument)
      << "a folder holding an open file stays";
  EXPECT_TRUE(machine.CloseHandle(file)) << "the file handle closes";
  EXPECT_EQ(machine.KernelHandleCloses().back(), "file:C:\\Run Logs\\new.log")
      << "recorded by its long path";
  EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
  machine.RemoveFolder(u"C:\\RUNLOG~1");
  EXPECT_FALSE(machine.PathExists(u"C:\\Run Logs\\new.log")) << "removed with what it holds";
  EXPECT_THROW(machine.RemoveFolder(u"C:\\Run Logs"), std::invalid_argument) << "gone";
  EXPECT_THROW(machine.RemoveFolder(u"C:\\"), std::invalid_argument) << "a drive stays";
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
