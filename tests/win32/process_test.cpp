// Process creation and waiting as the launcher uses them to run the
// installer: hidden start, wait, exit code, and the failure statuses; and
// what the run log records of the process and the system.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/win32/win32_platform.h"
#include "win32_fixtures.h"

namespace setup {
namespace {

constexpr std::uint32_t kCreateSuspended = 0x4;  // CREATE_SUSPENDED
// Long enough for a cold cmd.exe under Wine, short enough never to hang.
constexpr std::uint32_t kChildTimeoutMs = 60000;

StartupInfo HiddenWindow() {
  StartupInfo info;
  info.size = STARTUPINFOW_SIZE_32;
  info.flags = STARTF_USESHOWWINDOW;
  info.showWindow = SW_HIDE;
  return info;
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cmdPath_ = setup_test::SystemDirectory() + u"\\cmd.exe";
    ASSERT_GT(cmdPath_.size(), 8u) << "system folder known";
  }

  // Starts cmd.exe with `arguments`; the handles go to the scoped owners.
  Status StartCmd(const std::u16string& arguments, std::uint32_t flags) {
    std::u16string commandLine = u"cmd.exe " + arguments;
    ProcessInformation started;
    const Status status = platform_.CreateProcessW(cmdPath_.c_str(), &commandLine[0], flags,
                                                   nullptr, HiddenWindow(), &started);
    if (status == ERROR_SUCCESS) {
      process_.adopt(started.process);
      thread_.adopt(started.thread);
    }
    return status;
  }

  Win32Platform platform_;
  std::u16string cmdPath_;
  ScopedKernelHandle process_{platform_};
  ScopedKernelHandle thread_{platform_};
};

TEST_F(ProcessTest, HiddenChildRunsToItsExitCode) {
  ASSERT_EQ(ERROR_SUCCESS, StartCmd(u"/C exit 3", NORMAL_PRIORITY_CLASS));
  ASSERT_TRUE(process_.valid()) << "a process handle";
  EXPECT_TRUE(thread_.valid()) << "a thread handle";

  EXPECT_EQ(WAIT_OBJECT_0, platform_.WaitForSingleObject(process_.get(), kChildTimeoutMs))
      << "the child ends";
  std::uint32_t exitCode = 0;
  EXPECT_TRUE(platform_.GetExitCodeProcess(process_.get(), &exitCode));
  EXPECT_EQ(3u, exitCode) << "the child's exit code";
  EXPECT_EQ(ERROR_SUCCESS, thread_.reset()) << "thread handle closes";
  EXPECT_EQ(ERROR_SUCCESS, process_.reset()) << "process handle closes";
}

TEST_F(ProcessTest, ChildThatHasNotEndedReportsStillActive) {
  ASSERT_EQ(ERROR_SUCCESS, StartCmd(u"/C exit 0", NORMAL_PRIORITY_CLASS | kCreateSuspended));
  std::uint32_t exitCode = 0;
  EXPECT_TRUE(platform_.GetExitCodeProcess(process_.get(), &exitCode));
  EXPECT_EQ(STILL_ACTIVE, exitCode) << "exit code of a live process";
  EXPECT_EQ(WAIT_TIMEOUT, platform_.WaitForSingleObject(process_.get(), 0))
      << "a zero wait on a live process times out";
  EXPECT_TRUE(setup_test::TerminateAndWait(process_.get())) << "suspended child ended";
}

TEST_F(ProcessTest, PollingWithSleepSeesTheChildEnd) {
  ASSERT_EQ(ERROR_SUCCESS, StartCmd(u"/C exit 5", NORMAL_PRIORITY_CLASS));
  std::uint32_t waited = 0;
  std::uint32_t state = WAIT_TIMEOUT;
  for (; state == WAIT_TIMEOUT && waited < kChildTimeoutMs; waited += 20) {
    state = platform_.WaitForSingleObject(process_.get(), 0);
    if (state == WAIT_TIMEOUT) platform_.Sleep(20);
  }
  EXPECT_EQ(WAIT_OBJECT_0, state) << "the child ended within " << waited << " ms";
  std::uint32_t exitCode = 0;
  EXPECT_TRUE(platform_.GetExitCodeProcess(process_.get(), &exitCode));
  EXPECT_EQ(5u, exitCode);
}

TEST_F(ProcessTest, FailedStartReportsWhyAndHandsOutNoHandles) {
  const std::u16string existingFolder = setup_test::SystemDirectory();
  struct Case {
    const char* what;
    std::u16string application;
    Status expected;
  };
  const Case cases[] = {
      {"absent program", existingFolder + u"\\setup-no-such-program.exe", ERROR_FILE_NOT_FOUND},
      {"absent folder", existingFolder + u"\\setup-no-such-folder\\program.exe",
       ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    std::u16string commandLine = u"program.exe /x";
    ProcessInformation started;
    EXPECT_EQ(c.expected,
              platform_.CreateProcessW(c.application.c_str(), &commandLine[0],
                                       NORMAL_PRIORITY_CLASS, nullptr, HiddenWindow(), &started))
        << c.what;
    EXPECT_EQ(NO_KERNEL_HANDLE, started.process) << c.what << ": no process handle";
    EXPECT_EQ(NO_KERNEL_HANDLE, started.thread) << c.what << ": no thread handle";
  }
}

TEST_F(ProcessTest, CallsOnNoHandleFail) {
  EXPECT_EQ(WAIT_FAILED, platform_.WaitForSingleObject(NO_KERNEL_HANDLE, 0));
  std::uint32_t exitCode = 0;
  EXPECT_FALSE(platform_.GetExitCodeProcess(NO_KERNEL_HANDLE, &exitCode));
  EXPECT_FALSE(platform_.CloseHandle(NO_KERNEL_HANDLE));
  std::uint32_t written = 7;
  const std::uint8_t byte = 0;
  EXPECT_FALSE(platform_.WriteFile(NO_KERNEL_HANDLE, &byte, 1, &written));
  EXPECT_EQ(0u, written) << "nothing written";
}

TEST(CommandLineTest, CommandLineNamesTheProgram) {
  Win32Platform platform;
  const std::u16string commandLine(platform.GetCommandLineW());
  EXPECT_NE(std::u16string::npos, commandLine.find(u"win32_platform_tests"))
      << "the program name leads the command line: " << ::testing::PrintToString(commandLine);
}

TEST(RunLogFactsTest, ProcessIdAndVersionAreTheSystems) {
  Win32Platform platform;
  EXPECT_EQ(setup_test::CurrentProcessId(), platform.GetCurrentProcessId());
  WindowsVersion version;
  ASSERT_EQ(ERROR_SUCCESS, platform.RtlGetVersion(&version));
  EXPECT_GE(version.major, 6u) << "the launcher's oldest system is 6.1";
  EXPECT_LE(version.major, 10u) << "a version, not another field of the record";
  EXPECT_NE(0u, version.build) << version.major << "." << version.minor;
}

TEST(RunLogFactsTest, LocalTimeIsAPlausibleDate) {
  const LocalTime now = Win32Platform().GetLocalTime();
  const struct {
    const char* field;
    unsigned value, low, high;
  } fields[] = {{"year", now.year, 2020, 2200}, {"month", now.month, 1, 12},
                {"day", now.day, 1, 31},        {"hour", now.hour, 0, 23},
                {"minute", now.minute, 0, 59},  {"second", now.second, 0, 59},
                {"milliseconds", now.milliseconds, 0, 999}};
  for (const auto& f : fields) {
    EXPECT_TRUE(f.value >= f.low && f.value <= f.high) << f.field << " " << f.value;
  }
}

}  // namespace
}  // namespace setup
