// The service manager as the launcher's checks use it, the entries bound at
// run time from advapi32, user32 and kernel32, and the system language.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/other_runs.h"
#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <sddl.h>

namespace setup {
namespace {

using Entry = Win32Platform::RuntimeEntry;

TEST(RuntimeEntriesTest, RegistryAndServiceEntriesAtOnceUser32AndMsiEntriesOnFirstUse) {
  enum When { kAtConstruction, kOnWindowStationCall, kOnInstallerCall };
  const struct {
    Entry entry;
    const char* name;
    When when;
  } entries[] = {
      {Entry::RegOpenKeyExW, "RegOpenKeyExW", kAtConstruction},
      {Entry::RegQueryValueExW, "RegQueryValueExW", kAtConstruction},
      {Entry::RegSetValueExW, "RegSetValueExW", kAtConstruction},
      {Entry::RegDeleteValueW, "RegDeleteValueW", kAtConstruction},
      {Entry::RegCloseKey, "RegCloseKey", kAtConstruction},
      {Entry::OpenSCManagerA, "OpenSCManagerA", kAtConstruction},
      {Entry::OpenServiceA, "OpenServiceA", kAtConstruction},
      {Entry::QueryServiceStatus, "QueryServiceStatus", kAtConstruction},
      {Entry::CloseServiceHandle, "CloseServiceHandle", kAtConstruction},
      {Entry::MessageBoxW, "MessageBoxW", kOnWindowStationCall},
      {Entry::GetProcessWindowStation, "GetProcessWindowStation", kOnWindowStationCall},
      {Entry::GetUserObjectInformationW, "GetUserObjectInformationW", kOnWindowStationCall},
      {Entry::RtlGetVersion, "RtlGetVersion", kAtConstruction},
      {Entry::ConvertStringSecurityDescriptorToSecurityDescriptorW,
       "ConvertStringSecurityDescriptorToSecurityDescriptorW", kAtConstruction},
      {Entry::GetTempPath2W, "GetTempPath2W", kAtConstruction},
      {Entry::MsiOpenDatabaseW, "MsiOpenDatabaseW", kOnInstallerCall},
      {Entry::MsiDatabaseOpenViewW, "MsiDatabaseOpenViewW", kOnInstallerCall},
      {Entry::MsiRecordGetStringW, "MsiRecordGetStringW", kOnInstallerCall},
      {Entry::MsiViewExecute, "MsiViewExecute", kOnInstallerCall},
      {Entry::MsiViewFetch, "MsiViewFetch", kOnInstallerCall},
      {Entry::MsiCloseHandle, "MsiCloseHandle", kOnInstallerCall},
  };
  static_assert(sizeof entries / sizeof entries[0] == Win32Platform::kRuntimeEntryCount,
                "every runtime entry is listed");
  // Recent Windows only (not Wine 8): bound where kernel32 has it.
  const bool kernelHasTempPath2 =
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W") != nullptr;
  const auto exported = [&](Entry entry) {
    return entry != Entry::GetTempPath2W || kernelHasTempPath2;
  };
  Win32Platform platform;
  // Loading user32 is the slowest part of a run that shows no box, loading
  // msi.dll that of one that reads no package.
  const struct {
    const char* stage;
    When boundBy;  // entries of this stage and those before it are bound
  } stages[] = {
      {"at construction", kAtConstruction},
      {"after a window-station call", kOnWindowStationCall},
      {"after an installer call", kOnInstallerCall},
  };
  for (const auto& stage : stages) {
    if (stage.boundBy == kOnWindowStationCall) {
      static_cast<void>(platform.ProcessWindowStationIsVisible());
    }
    if (stage.boundBy == kOnInstallerCall) static_cast<void>(platform.MsiCloseHandle(0));
    for (const auto& e : entries) {
      EXPECT_EQ(e.when <= stage.boundBy && exported(e.entry), platform.is_bound(e.entry))
          << e.name << " " << stage.stage;
    }
  }
}

// GetTempPath2W gives an account other than SYSTEM GetTempPathW's folder;
// where kernel32 lacks it, it fails as an unbound entry does.
TEST(LogFoldersTest, TempPath2IsTempPathsFolderOrFailsWhereKernel32LacksIt) {
  Win32Platform platform;
  WideChar temp[MAX_PATH + 1] = {};
  const std::uint32_t length = platform.GetTempPathW(MAX_PATH + 1, temp);
  ASSERT_NE(0u, length);
  WideChar temp2[MAX_PATH + 1] = {};
  ::SetLastError(NO_ERROR);
  const std::uint32_t length2 = platform.GetTempPath2W(MAX_PATH + 1, temp2);
  if (platform.is_bound(Entry::GetTempPath2W)) {
    EXPECT_EQ(length, length2);
    EXPECT_EQ(std::u16string(temp), std::u16string(temp2));
  } else {
    EXPECT_EQ(0u, length2);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), ::GetLastError());
  }
}

class ServicesTest : public ::testing::Test {
 protected:
  Win32Platform platform_;
};

TEST_F(ServicesTest, ManagerOpensForConnectAndAnAbsentServiceDoesNot) {
  ScopedServiceHandle manager(
      platform_, platform_.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT, nullptr));
  ASSERT_TRUE(manager.valid()) << "service manager opens with SC_MANAGER_CONNECT";

  Status openError = ERROR_SUCCESS;
  ScopedServiceHandle absent(platform_,
                             platform_.OpenServiceA(manager.get(), "SetupPlatformTestNoSuchService",
                                                    SERVICE_QUERY_STATUS, &openError));
  EXPECT_FALSE(absent.valid()) << "an absent service does not open";
  EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, openError) << "the one status the guard takes for absent";
  EXPECT_EQ(ERROR_SUCCESS, manager.reset()) << "the manager handle closes";
}

TEST_F(ServicesTest, AnInstalledServiceReportsOneOfTheKnownStates) {
  ScopedServiceHandle manager(
      platform_, platform_.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT, nullptr));
  ASSERT_TRUE(manager.valid());
  // The installer's own service exists on every system the launcher serves.
  ScopedServiceHandle service(
      platform_, platform_.OpenServiceA(manager.get(), "msiserver", SERVICE_QUERY_STATUS, nullptr));
  ASSERT_TRUE(service.valid()) << "msiserver opens for status queries";
  ServiceStatus status;
  ASSERT_TRUE(platform_.QueryServiceStatus(service.get(), &status, nullptr));
  EXPECT_GE(status.currentState, SERVICE_STOPPED) << "state " << status.currentState;
  EXPECT_LE(status.currentState, SERVICE_PAUSED) << "state " << status.currentState;
}

TEST(SingleInstanceTest, SecondMutexOfTheSameNameReportsTheFirst) {
  Win32Platform platform;
  Status firstError = ERROR_SUCCESS;
  Status secondError = ERROR_SUCCESS;
  ScopedKernelHandle first(platform,
                           platform.CreateMutexExW(u"Local\\SetupPlatformTest", &firstError));
  ScopedKernelHandle second(platform,
                            platform.CreateMutexExW(u"Local\\SetupPlatformTest", &secondError));
  ASSERT_TRUE(first.valid());
  EXPECT_NE(firstError, ERROR_ALREADY_EXISTS) << "the first one makes it";
  ASSERT_TRUE(second.valid()) << "an existing mutex opens";
  EXPECT_EQ(secondError, ERROR_ALREADY_EXISTS);
}

TEST(SingleInstanceTest, LauncherMutexRefusesASecondLauncher) {
  Win32Platform platform;
  const SingleInstance first(platform);
  EXPECT_FALSE(first.another_is_running());
  const SingleInstance second(platform);
  EXPECT_TRUE(second.another_is_running());
}

// Another account's launcher must find the mutex, not be refused it: its
// descriptor lets everyone (WD) wait on it.
TEST(SingleInstanceTest, LauncherMutexLetsEveryAccountWaitOnIt) {
  Win32Platform platform;
  Status error = ERROR_SUCCESS;
  const ScopedKernelHandle mutex(platform,
                                 platform.CreateMutexExW(u"Local\\SetupDescriptorTest", &error));
  ASSERT_TRUE(mutex.valid()) << error;
  HANDLE readable = ::OpenMutexW(READ_CONTROL, FALSE, L"Local\\SetupDescriptorTest");
  ASSERT_NE(readable, nullptr);
  DWORD needed = 0;
  static_cast<void>(
      ::GetKernelObjectSecurity(readable, DACL_SECURITY_INFORMATION, nullptr, 0, &needed));
  std::vector<unsigned char> descriptor(needed);
  ASSERT_TRUE(::GetKernelObjectSecurity(readable, DACL_SECURITY_INFORMATION, descriptor.data(),
                                        needed, &needed));
  ::CloseHandle(readable);
  LPWSTR text = nullptr;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
      descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
  const std::wstring dacl(text);
  ::LocalFree(text);
  EXPECT_NE(dacl.find(L";;;WD)"), std::wstring::npos) << "no entry for everyone in the DACL";
}

TEST(WindowStationTest, InteractiveSessionIsVisible) {
  Win32Platform platform;
  EXPECT_TRUE(platform.ProcessWindowStationIsVisible()) << "tests run on Wine's visible desktop";
  std::uint32_t session = 0;
  EXPECT_EQ(ERROR_SUCCESS, platform.ProcessIdToSessionId(platform.GetCurrentProcessId(), &session));
  EXPECT_NE(0u, session) << "a user's session, not the services' session 0";
}

TEST(LocaleTest, SystemLanguageIsAValidLanguageId) {
  Win32Platform platform;
  const std::uint16_t language = platform.GetSystemDefaultLangID();
  EXPECT_NE(0, language & 0x3FF) << "a primary language is set: 0x" << std::hex << language;
}

TEST_F(ServicesTest, CallsOnNoHandleFail) {
  ServiceStatus status;
  EXPECT_FALSE(platform_.QueryServiceStatus(NO_SERVICE_HANDLE, &status, nullptr));
  EXPECT_FALSE(platform_.CloseServiceHandle(NO_SERVICE_HANDLE));
}

}  // namespace
}  // namespace setup
