// Folder, search and log-file behaviour the launcher relies on, in a
// scratch folder whose name holds blanks and letters outside the ANSI code
// page, which only UTF-16 spells whole.
#include <gtest/gtest.h>

#include <string>

#include "contract/contract_side.h"
#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "sim/platform_test_constants.h"

namespace setup::contract {
namespace {

class FilesContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(path().empty()) << "scratch folder";
    ASSERT_NE(std::u16string::npos, path().find(u' ')) << "the folder name holds a blank";
  }
  void TearDown() override { EXPECT_EQ("", side_->OpenHandles()) << "handles left open"; }

  std::u16string path() const { return side_->Folder(); }

  // WriteFile of all of `text`; true when all of it went. The count is
  // cleared on failure too.
  bool WriteText(KernelHandle file, const std::string& text) {
    std::uint32_t written = 0xEEEE;
    const bool ok = platform_.WriteFile(file, reinterpret_cast<const std::uint8_t*>(text.data()),
                                        static_cast<std::uint32_t>(text.size()), &written);
    EXPECT_EQ(ok ? text.size() : 0u, written) << "count written";
    return ok && written == text.size();
  }

  // CreateFileW as the run log calls it.
  KernelHandle CreateNew(const std::u16string& file, Status* lastError) {
    return platform_.CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, lastError);
  }

  std::unique_ptr<ContractSide> side_ = MakeContractSide();
  Platform& platform_ = side_->platform();
};

TEST_F(FilesContract, CurrentDirectoryIsReportedWithoutTrailingBackslash) {
  ASSERT_TRUE(side_->ChangeDirectory(path() + u"\\"));
  WideChar buffer[260] = {};
  const std::uint32_t length = platform_.GetCurrentDirectoryW(260, buffer);
  EXPECT_EQ(path(), std::u16string(buffer)) << "the folder, no trailing backslash";
  EXPECT_EQ(path().size(), length) << "length without the terminator";

  WideChar tooSmall[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(length + 1, platform_.GetCurrentDirectoryW(4, tooSmall))
      << "size needed, terminator included, when the buffer is too small";
  EXPECT_EQ(u'x', tooSmall[0]) << "too small: nothing written";

  const std::u16string root = path().substr(0, 3);  // "C:\"
  ASSERT_TRUE(side_->ChangeDirectory(root));
  EXPECT_EQ(root.size(), platform_.GetCurrentDirectoryW(260, buffer));
  EXPECT_EQ(root, std::u16string(buffer)) << "a drive root keeps its backslash";
}

// Wine always makes a short form; a Windows volume may have none (8.3
// names are off by default on volumes other than the system's), and then
// the long path comes back: both are right.
TEST_F(FilesContract, ShortPathHasNoBlankAndKeepsTheTrailingBackslash) {
  const std::u16string longPath = path() + u"\\";
  WideChar buffer[260] = {};
  const std::uint32_t length = platform_.GetShortPathNameW(longPath.c_str(), buffer, 260);
  const std::u16string shortPath(buffer);
  ASSERT_NE(0u, length) << "a short name, or the long path";
  EXPECT_EQ(shortPath.size(), length) << "length without the terminator";
  EXPECT_TRUE(shortPath == longPath || shortPath.find(u' ') == std::u16string::npos)
      << "a short form holds no blank: " << ::testing::PrintToString(shortPath);
  ASSERT_FALSE(shortPath.empty());
  EXPECT_EQ(u'\\', shortPath.back()) << "trailing backslash kept";
  EXPECT_TRUE(side_->IsFolder(shortPath)) << "the short name names the folder";

  WideChar tooSmall[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(length + 1, platform_.GetShortPathNameW(longPath.c_str(), tooSmall, 4))
      << "size needed, terminator included, when the buffer is too small";
  EXPECT_EQ(u'x', tooSmall[0]) << "too small: nothing written";
  WideChar exact[260] = {};
  EXPECT_EQ(length, platform_.GetShortPathNameW(longPath.c_str(), exact, length + 1))
      << "exact fit";
  EXPECT_EQ(shortPath, std::u16string(exact));

  const std::u16string absent = path() + u"\\Absent Folder\\";
  EXPECT_EQ(0u, platform_.GetShortPathNameW(absent.c_str(), buffer, 260))
      << "an absent path has no short name";
}

// Names come without their folder, in no order to rely on; the wildcard
// ignores case; no match is the invalid handle, not an empty search.
TEST_F(FilesContract, FindFirstFileMatchesAfterSingleOrDoubledBackslash) {
  ASSERT_TRUE(side_->AddFile(u"Łódź 予定表.msp", "patch"));
  ASSERT_TRUE(side_->AddFile(u"second.MSP", "patch"));
  ASSERT_TRUE(side_->AddFile(u"readme.txt", "text"));
  const struct {
    const char* what;
    const char16_t* pattern;
    bool found;  // both patches, else nothing
  } cases[] = {
      {"single backslash", u"\\*.msp", true},
      {"doubled backslash", u"\\\\*.msp", true},
      {"no match", u"\\*.cab", false},
      {"missing folder", u"\\Absent\\*.msp", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::u16string pattern = path() + c.pattern;
    WideFindData data;
    ScopedFindHandle found(platform_, platform_.FindFirstFileW(pattern.c_str(), &data));
    if (!c.found) {
      EXPECT_EQ(INVALID_FIND_HANDLE, found.get());
      continue;
    }
    ASSERT_TRUE(found.valid()) << "the patch found";
    std::u16string names = data.fileName;
    ASSERT_TRUE(platform_.FindNextFileW(found.get(), &data)) << "a second match";
    names += u"|" + std::u16string(data.fileName);
    EXPECT_FALSE(platform_.FindNextFileW(found.get(), &data)) << "no third";
    EXPECT_TRUE(names == u"Łódź 予定表.msp|second.MSP" || names == u"second.MSP|Łódź 予定表.msp")
        << ::testing::PrintToString(names);
    EXPECT_EQ(ERROR_SUCCESS, found.reset()) << "FindClose succeeds";
  }
}

TEST_F(FilesContract, TempPathEndsInABackslashAndNamesAFolder) {
  WideChar buffer[261] = {};
  const std::uint32_t length = platform_.GetTempPathW(261, buffer);
  const std::u16string temp(buffer);
  ASSERT_NE(0u, length) << "a temporary folder";
  EXPECT_EQ(temp.size(), length) << "length without the terminator";
  EXPECT_EQ(u'\\', temp.back()) << ::testing::PrintToString(temp);
  EXPECT_TRUE(side_->IsFolder(temp)) << ::testing::PrintToString(temp);

  WideChar tooSmall[2] = {};
  EXPECT_EQ(length + 1, platform_.GetTempPathW(2, tooSmall))
      << "size needed, terminator included, when the buffer is too small";
}

TEST_F(FilesContract, CreateNewMakesALogOthersCanReadAndNeverOpensAnExistingOne) {
  const std::u16string logPath = side_->PathFor(u"Setup Łódź 予定表.log");
  Status lastError = ERROR_INVALID_HANDLE;
  ScopedKernelHandle log(platform_, CreateNew(logPath, &lastError));
  ASSERT_TRUE(log.valid()) << "the log is made; error " << lastError;
  EXPECT_EQ(ERROR_SUCCESS, lastError) << "no error when made";
  std::string content;
  EXPECT_TRUE(side_->FileBytes(logPath, &content)) << "a reader while the log is open";
  EXPECT_EQ("", content) << "a new file is empty";

  // Non-ASCII UTF-8, a line end and a zero byte: written as they are, in
  // the order written.
  const char bytes[] =
      "07.12.2026 \xC5\x81\xC3\xB3"
      "d\xC5\xBA\r\n\0end";
  const std::string line(bytes, sizeof bytes - 1);
  EXPECT_TRUE(WriteText(log.get(), line));
  EXPECT_TRUE(WriteText(log.get(), "line 2\r\n"));
  const std::string written = line + "line 2\r\n";

  // A log already there, still open or not, is neither opened again nor cut.
  for (const char* state : {"open", "closed"}) {
    lastError = ERROR_SUCCESS;
    ScopedKernelHandle second(platform_, CreateNew(logPath, &lastError));
    EXPECT_FALSE(second.valid()) << "a second CREATE_NEW, the log " << state;
    EXPECT_EQ(ERROR_FILE_EXISTS, lastError) << "the log " << state;
    EXPECT_TRUE(side_->FileBytes(logPath, &content)) << "a reader, the log " << state;
    EXPECT_EQ(written, content) << "exactly the bytes written, the log " << state;
    if (log.valid()) {
      const KernelHandle closed = log.get();
      EXPECT_EQ(ERROR_SUCCESS, log.reset()) << "the log closes";
      EXPECT_FALSE(WriteText(closed, "x")) << "a closed handle writes nothing";
    }
  }
}

// Every way CREATE_NEW can meet a name already taken, or no folder to make
// it in: no handle, the error the run log reports, nothing made or cut.
TEST_F(FilesContract, CreateNewMakesOnlyANewFile) {
  ASSERT_TRUE(side_->AddFile(u"Setup Run.log", "kept"));
  WideChar shortFolder[260] = {};
  const std::u16string folder = path() + u"\\";
  ASSERT_NE(0u, platform_.GetShortPathNameW(folder.c_str(), shortFolder, 260));
  WideChar shortKept[260] = {};
  const std::u16string kept = folder + u"Setup Run.log";
  ASSERT_NE(0u, platform_.GetShortPathNameW(kept.c_str(), shortKept, 260));
  const std::u16string made = side_->PathFor(u"new.log");
  struct Case {
    const char* what;
    std::u16string path;
    Status expected;
  };
  const Case cases[] = {
      {"an existing file, names compared without case", folder + u"setup run.LOG",
       ERROR_FILE_EXISTS},
      {"an existing file by its short names", shortKept, ERROR_FILE_EXISTS},
      {"an existing folder", path(), ERROR_FILE_EXISTS},
      {"a missing folder", folder + u"Missing\\new.log", ERROR_PATH_NOT_FOUND},
      {"a folder through a file", kept + u"\\new.log", ERROR_PATH_NOT_FOUND},
      // Last: it makes the file the others must not.
      {"a new name, spelled through the short folder name",
       shortFolder + std::u16string(u"new.log"), ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Status error = 0xEEEE;
    ScopedKernelHandle file(platform_, CreateNew(c.path, &error));
    EXPECT_EQ(c.expected, error) << "last error";
    EXPECT_EQ(c.expected == ERROR_SUCCESS, file.valid()) << "a handle only on success";
    std::string content;
    EXPECT_TRUE(side_->FileBytes(kept, &content));
    EXPECT_EQ("kept", content) << "an existing file is never truncated";
    EXPECT_EQ(c.expected == ERROR_SUCCESS, side_->FileBytes(made, &content))
        << "nothing made on failure";
  }
}

}  // namespace
}  // namespace setup::contract
