// Runs that nobody watches, and launchers started twice.
#include <optional>
#include <string>

#include "detection/product_identification.h"
#include "launcher/run_sequence.h"
#include "launcher/other_runs.h"
#include "patch_folder.h"
#include "services/service_guard.h"
#include "shared/run_state.h"

namespace setup {
namespace {

using sim::Operation;
using testing::PatchFolderTest;

const std::string kHostrelKey = "Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B";

class DeploymentTest : public PatchFolderTest {
 protected:
  DeploymentTest() {
    AddPatchFile("Hostrel_Update.msp");
    machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  }

  Status RunWith(const std::string& tail) {
    machine.SetCommandLine("\"C:\\Patch Files\\Setup.exe\" " + tail);
    return RunSetup(machine);
  }
};

TEST_F(DeploymentTest, QuietRunWithARunningServiceEndsWithoutAMessage) {
  machine.InstallService(BlockingServiceNames[0], SERVICE_RUNNING);
  EXPECT_EQ(RunWith("/qn"), 1u);
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_TRUE(machine.ProcessStarts().empty());

  EXPECT_EQ(RunWith("/passive REBOOT=R"), 1u);
  EXPECT_TRUE(machine.MessageBoxes().empty());
}

TEST_F(DeploymentTest, AttendedRunStillShowsTheMessage) {
  machine.InstallService(BlockingServiceNames[0], SERVICE_RUNNING);
  EXPECT_EQ(RunWith("/qb PROP=C:\\q"), 1u);
  EXPECT_EQ(machine.MessageBoxes().size(), 1u);
}

TEST_F(DeploymentTest, InvisibleWindowStationShowsNothing) {
  machine.SetWindowStationVisible(false);
  machine.InstallService(BlockingServiceNames[1], SERVICE_RUNNING);
  EXPECT_EQ(RunWith(""), 1u);
  EXPECT_TRUE(machine.MessageBoxes().empty());
}

// Asking the station loads user32 on Windows: only a message due pays for it.
TEST_F(DeploymentTest, WindowStationIsAskedOnlyWhenAMessageIsDue) {
  EXPECT_EQ(RunWith(""), 0u);
  EXPECT_EQ(machine.CallCount(Operation::ProcessWindowStationIsVisible), 0u)
      << "a run without message";

  run = RunState{};
  ShowUserMessage(machine, run, u"first", u"Error:", MB_OK);
  ShowUserMessage(machine, run, u"second", u"Error:", MB_OK);
  EXPECT_EQ(machine.CallCount(Operation::ProcessWindowStationIsVisible), 1u)
      << "asked once, for the first message";
  EXPECT_EQ(machine.MessageBoxes().size(), 2u);
}

// Session 0 (a service, or SYSTEM under a deployment tool) shows no box,
// though its station may call itself visible, and loads no user32 to ask;
// a session that cannot be read counts as session 0.
struct SessionCase {
  const char* tail;
  std::optional<std::uint32_t> session;  // none: the session cannot be read
  bool serviceRuns;                      // else the source folder is missing
  std::size_t boxes;
  const char* logged;
};

class SessionTest : public DeploymentTest, public ::testing::WithParamInterface<SessionCase> {};

TEST_P(SessionTest, ShowsBoxesOnlyInAUsersSession) {
  const SessionCase& c = GetParam();
  if (c.session) machine.SetSessionId(*c.session);
  if (!c.session) machine.FailCall(Operation::ProcessIdToSessionId, ERROR_ACCESS_DENIED);
  if (c.serviceRuns) machine.InstallService(BlockingServiceNames[0], SERVICE_RUNNING);
  if (!c.serviceRuns) machine.ClearCurrentDirectory();
  EXPECT_EQ(RunWith(c.tail), c.serviceRuns ? 1u : 0u);
  EXPECT_EQ(machine.MessageBoxes().size(), c.boxes);
  EXPECT_EQ(machine.CallCount(Operation::ProcessWindowStationIsVisible), c.boxes);
  EXPECT_NE(testing::FirstRunLog(machine).find(c.logged), std::string::npos)
      << testing::FirstRunLog(machine);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SessionTest,
    ::testing::Values(
        SessionCase{"", 0u, true, 0, "Unattended: session 0"},
        SessionCase{"", 0u, false, 0, "Message box not shown (unattended: session 0): Error:"},
        SessionCase{"/qn", 0u, true, 0,
                    "Unattended: a switch asks for no dialogs; no message "
                    "box is shown (session 0)"},
        SessionCase{"", std::nullopt, true, 0,
                    "the session could not be read (it may be 0, where a box waits unseen); no "
                    "message box is shown (session not read: 5 (access denied))"},
        SessionCase{"", std::nullopt, false, 0,
                    "Message box not shown (unattended: the session could not be read): Error:"},
        SessionCase{"", 2u, true, 1,
                    "Attended: message boxes are shown if the window station "
                    "is visible (session 2)"}));

TEST_F(DeploymentTest, QuietRunWithoutSourceFolderGoesOnSilently) {
  machine.ClearCurrentDirectory();
  EXPECT_EQ(RunWith("-QUIET"), 0u);
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_EQ(machine.ProcessStarts().size(), 1u);
}

TEST_F(DeploymentTest, SecondLauncherTouchesNothing) {
  machine.HoldMutexElsewhere(kGlobalLauncherMutex);
  machine.InstallService(BlockingServiceNames[0], SERVICE_RUNNING);
  EXPECT_EQ(RunWith(""), ERROR_INSTALL_ALREADY_RUNNING);
  for (const Operation touched :
       {Operation::GetCurrentDirectoryW, Operation::RegOpenKeyExW, Operation::OpenSCManagerA,
        Operation::FindFirstFileW, Operation::CreateProcessW, Operation::MessageBoxW}) {
    EXPECT_EQ(machine.CallCount(touched), 0u) << "operation " << static_cast<int>(touched);
  }
}

// The platform's installer holds it while it works, for one a killed
// launcher's installer still running: nothing may change under it.
TEST_F(DeploymentTest, AnInstallationInProgressTouchesNothing) {
  machine.HoldMutexElsewhere(u"Global\\_MSIExecute");
  machine.InstallService(BlockingServiceNames[0], SERVICE_RUNNING);
  EXPECT_EQ(RunWith(""), ERROR_INSTALL_ALREADY_RUNNING);
  for (const Operation touched :
       {Operation::GetCurrentDirectoryW, Operation::RegOpenKeyExW, Operation::OpenSCManagerA,
        Operation::CreateProcessW, Operation::MessageBoxW}) {
    EXPECT_EQ(machine.CallCount(touched), 0u) << "operation " << static_cast<int>(touched);
  }
  EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
}

TEST_F(DeploymentTest, AFreeInstallerMutexIsGivenBackAtOnce) {
  machine.AddFreeMutex(u"Global\\_MSIExecute");
  EXPECT_EQ(RunWith("/qn"), 0u);
  EXPECT_EQ(machine.UnreleasedOpenedMutexes(), 0) << "held, it would keep our installer out";
  EXPECT_EQ(machine.CallCount(Operation::CreateProcessW), 1u);
  // A killed installer's: the wait that finds it abandoned makes it ours.
  machine.AbandonMutexElsewhere(u"Global\\_MSIExecute");
  EXPECT_EQ(RunWith("/qn"), 0u);
  EXPECT_EQ(machine.UnreleasedOpenedMutexes(), 0)
      << "an abandoned one, taken, is ours to give back";
  machine.FailCall(Operation::OpenMutexW, ERROR_INVALID_HANDLE);
  EXPECT_EQ(RunWith("/qn"), 0u) << "a mutex that cannot be asked stops nothing";
}

// The installer's mutex refusing this account is taken as held, as
// deployment toolkits take it: the run ends before anything is read or
// started. One that cannot be opened for another reason stops nothing.
struct InstallerMutexCase {
  void (*arrange)(sim::FakeMachine&);
  Status exitStatus;
  const char* logged;
};

class InstallerMutexTest : public DeploymentTest,
                           public ::testing::WithParamInterface<InstallerMutexCase> {};

TEST_P(InstallerMutexTest, RefusedEndsTheRunBeforeAnythingIsTouched) {
  GetParam().arrange(machine);
  EXPECT_EQ(RunWith("/qn"), GetParam().exitStatus);
  const bool refused = GetParam().exitStatus == ERROR_INSTALL_ALREADY_RUNNING;
  EXPECT_EQ(machine.ProcessStarts().size(), refused ? 0u : 1u);
  EXPECT_EQ(machine.CallCount(Operation::RegOpenKeyExW) == 0, refused);
  EXPECT_NE(testing::FirstRunLog(machine).find(GetParam().logged), std::string::npos)
      << testing::FirstRunLog(machine);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InstallerMutexTest,
    ::testing::Values(
        InstallerMutexCase{
            [](sim::FakeMachine& m) { m.HoldRefusingMutexElsewhere(u"Global\\_MSIExecute"); },
            ERROR_INSTALL_ALREADY_RUNNING,
            "Another installation is in progress (the installer's Global\\_MSIExecute refuses "
            "this account: 5 (access denied), which deployment toolkits take as held): nothing "
            "is changed or started"},
        InstallerMutexCase{
            [](sim::FakeMachine& m) { m.FailCall(Operation::OpenMutexW, ERROR_INVALID_HANDLE); }, 0,
            "Installer mutex: could not be opened (6 (invalid handle)); taken for no "
            "installation in progress"},
        InstallerMutexCase{[](sim::FakeMachine& m) {
                             m.AddFreeMutex(u"Global\\_MSIExecute");
                             m.FailCall(Operation::WaitForSingleObject, ERROR_INVALID_HANDLE);
                           },
                           0, "Installer mutex: not waited on (failed); taken as free"}));

TEST_F(DeploymentTest, SessionMutexStandsInWhereTheGlobalOneCannotBeMade) {
  machine.RefuseMutexNamespace(u"Global\\", ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(RunWith(""), 0u);
  EXPECT_EQ(machine.MutexRequests(),
            (std::vector<std::u16string>{kGlobalLauncherMutex, kLocalLauncherMutex}));

  machine.HoldMutexElsewhere(kLocalLauncherMutex);
  EXPECT_EQ(RunWith(""), ERROR_INSTALL_ALREADY_RUNNING);
}

// Access denied is another account's launcher holding the global mutex: a
// session mutex of our own would let both work on one registration.
TEST_F(DeploymentTest, GlobalMutexThatRefusesUsMeansAnotherLauncher) {
  machine.RefuseMutexNamespace(u"Global\\", ERROR_ACCESS_DENIED);
  EXPECT_EQ(RunWith("/qn"), ERROR_INSTALL_ALREADY_RUNNING);
  EXPECT_EQ(machine.MutexRequests(), (std::vector<std::u16string>{kGlobalLauncherMutex}));
  EXPECT_EQ(machine.CallCount(Operation::RegOpenKeyExW), 0u);
  EXPECT_EQ(machine.ProcessStarts().size(), 0u);
  EXPECT_NE(testing::FirstRunLog(machine).find("its mutex refuses this account"),
            std::string::npos);
}

TEST_F(DeploymentTest, MutexIsHeldWhileThePatchRuns) {
  std::vector<std::u16string> heldDuringPatch;
  machine.QueueChild([&heldDuringPatch](sim::FakeMachine& m) {
    heldDuringPatch = m.HeldMutexes();
    return 0u;
  });
  EXPECT_EQ(RunWith("/qn"), 0u);
  EXPECT_EQ(heldDuringPatch, (std::vector<std::u16string>{kGlobalLauncherMutex}));
  EXPECT_TRUE(machine.HeldMutexes().empty()) << "released when the run ends";
}

TEST_F(DeploymentTest, NoMutexAtAllDoesNotStopTheRun) {
  machine.RefuseMutexNamespace(u"Global\\", ERROR_PATH_NOT_FOUND);
  machine.RefuseMutexNamespace(u"Local\\", ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(RunWith(""), 0u);
  EXPECT_EQ(machine.ProcessStarts().size(), 1u);
}

}  // namespace
}  // namespace setup
