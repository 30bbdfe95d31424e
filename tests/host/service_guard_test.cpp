#include "services/service_guard.h"

#include <string>

#include "detection/product_identification.h"
#include "launcher/run_sequence.h"
#include "patch_folder.h"
#include "proof/scenario.h"

namespace setup {
namespace {

using sim::FakeMachine;
using testing::PatchFolderTest;

const std::string kHostrelKey = "Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B";

// Notes which service handles were still open while the box was shown.
class GuardMachine : public FakeMachine {
 public:
  int MessageBoxW(WindowHandle owner, const WideChar* text, const WideChar* caption,
                  std::uint32_t style) noexcept override {
    serviceHandlesOpenAtBox = OpenServiceHandleCount();
    return FakeMachine::MessageBoxW(owner, text, caption, style);
  }
  std::size_t serviceHandlesOpenAtBox = 0;
};

class ServiceGuardTest : public ::testing::Test {
 protected:
  ServiceGuardTest() {
    machine.AddFolder("C:\\Patch Files", "PATCHF~1");
    machine.AddFolder("C:\\Patch Files\\Files");
    machine.AddFile("C:\\Patch Files\\Files\\Hostrel_Update.msp");
    machine.SetCurrentDirectory("C:\\Patch Files");
    folder = CapturePatchFolder(machine, run);
  }

  // 1 when a service blocks, as the launcher's verdict.
  int Check() { return CheckBlockingServices(machine, run, folder).blocks ? 1 : 0; }

  void TearDown() override {
    EXPECT_TRUE(machine.AllHandlesClosed()) << machine.OpenHandlesReport();
  }

  std::vector<std::string> OpenedNames() const {
    std::vector<std::string> names;
    for (const auto& request : machine.ServiceOpenRequests()) names.push_back(request.name);
    return names;
  }

  GuardMachine machine;
  RunState run;
  PatchFolder folder;
};

TEST_F(ServiceGuardTest, NoneInstalledPasses) {
  EXPECT_EQ(Check(), 0);
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_EQ(OpenedNames().size(), 4u);
}

TEST_F(ServiceGuardTest, FirstServiceNotStoppedStopsTheSearch) {
  machine.InstallService(BlockingServiceNames[0], SERVICE_STOPPED);
  machine.InstallService(BlockingServiceNames[2], SERVICE_RUNNING);
  machine.InstallService(BlockingServiceNames[3], SERVICE_RUNNING);
  EXPECT_EQ(Check(), 1);
  EXPECT_EQ(machine.MessageBoxes().size(), 1u);
  EXPECT_EQ(OpenedNames(),
            (std::vector<std::string>{BlockingServiceNames[0], BlockingServiceNames[1],
                                      BlockingServiceNames[2]}))
      << "the fourth is never opened";
  EXPECT_EQ(machine.serviceHandlesOpenAtBox, 2u) << "manager and service open while shown";
  EXPECT_EQ(
      machine.ServiceHandleCloses(),
      (std::vector<std::string>{std::string("service:") + BlockingServiceNames[0],
                                std::string("service:") + BlockingServiceNames[2], "manager"}));
}

TEST_F(ServiceGuardTest, EveryStateButStoppedBlocks) {
  machine.InstallService(BlockingServiceNames[1], SERVICE_STOPPED);
  for (std::uint32_t state : {SERVICE_START_PENDING, SERVICE_STOP_PENDING, SERVICE_RUNNING,
                              SERVICE_CONTINUE_PENDING, SERVICE_PAUSE_PENDING, SERVICE_PAUSED}) {
    machine.SetServiceState(BlockingServiceNames[1], state);
    EXPECT_EQ(Check(), 1) << "state " << state;
  }
  machine.SetServiceState(BlockingServiceNames[1], SERVICE_STOPPED);
  EXPECT_EQ(Check(), 0);
}

// Each service the product registers blocks alone, by the checker's own
// names, so that one the launcher misspells is caught.
TEST_F(ServiceGuardTest, EachGuardedServiceBlocksAlone) {
  for (const char* name : proof::kGuardedServices) {
    machine.InstallService(name, SERVICE_RUNNING);
    EXPECT_EQ(Check(), 1) << name;
    machine.SetServiceState(name, SERVICE_STOPPED);
  }
}

TEST_F(ServiceGuardTest, StateThatCannotBeReadBlocks) {
  machine.InstallService(BlockingServiceNames[3], SERVICE_STOPPED);
  machine.FailStatusQuery(BlockingServiceNames[3]);
  EXPECT_EQ(Check(), 1);
}

TEST_F(ServiceGuardTest, AsksOnlyForTheRightsAStatusQueryNeeds) {
  machine.SetManagerAllowedAccess(SC_MANAGER_CONNECT);
  machine.InstallService(BlockingServiceNames[0], SERVICE_RUNNING);
  machine.SetServiceAllowedAccess(BlockingServiceNames[0], SERVICE_QUERY_STATUS);
  EXPECT_EQ(Check(), 1) << "a user without full rights is still guarded";
  EXPECT_EQ(machine.ManagerAccessRequests(), (std::vector<std::uint32_t>{SC_MANAGER_CONNECT}));
}

TEST_F(ServiceGuardTest, ManagerThatCannotBeOpenedLetsTheRunGoOn) {
  machine.FailCall(sim::Operation::OpenSCManagerA, ERROR_ACCESS_DENIED);
  machine.InstallService(BlockingServiceNames[0], SERVICE_RUNNING);
  EXPECT_EQ(Check(), 0);
  EXPECT_TRUE(machine.MessageBoxes().empty());
}

// What the guard saw of the second guarded service, in the log's words.
// Only the manager's "does not exist" makes a service absent: one that will
// not open may be running.
enum class Service { Absent, Stopped, OpenRefused, QueryRefused };

struct SightCase {
  Service service;
  Status openFails;  // OpenServiceA's planned failure; 0: the machine's own answer
  int expected;
  const char* logged;
};

class GuardSightTest : public ServiceGuardTest, public ::testing::WithParamInterface<SightCase> {};

TEST_P(GuardSightTest, BlocksUnlessTheManagerSaysAbsent) {
  const SightCase& c = GetParam();
  const char* const name = BlockingServiceNames[1];
  if (c.service != Service::Absent) machine.InstallService(name, SERVICE_STOPPED);
  if (c.service == Service::OpenRefused) machine.SetServiceAllowedAccess(name, 0);
  if (c.service == Service::QueryRefused) machine.FailStatusQuery(name);
  if (c.openFails != ERROR_SUCCESS) machine.FailCall(sim::Operation::OpenServiceA, c.openFails, 2);
  OpenRunLog(machine, run.Log);
  EXPECT_EQ(Check(), c.expected);
  CloseRunLog(run.Log);
  const std::string log = testing::FirstRunLog(machine);
  EXPECT_NE(log.find(std::string("Service ") + name + c.logged), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Table, GuardSightTest,
    ::testing::Values(
        SightCase{Service::Absent, 0, 0, ": not installed"},
        SightCase{Service::OpenRefused, 0, 1, ": could not be opened (5 (access denied))"},
        SightCase{Service::QueryRefused, 0, 1, ": its state could not be read (5 (access denied))"},
        SightCase{Service::Stopped, ERROR_SERVICE_DOES_NOT_EXIST, 0, ": not installed"},
        SightCase{Service::Absent, ERROR_INVALID_HANDLE, 1,
                  ": could not be opened (6 (invalid handle))"}));

struct MessageCase {
  const char* transforms;  // the product's; null: no product identified
  std::uint16_t systemLanguage;
  int expectedMessage;  // index into BlockingServiceMessages
};

class GuardMessageTest : public ServiceGuardTest,
                         public ::testing::WithParamInterface<MessageCase> {};

TEST_P(GuardMessageTest, MessageIsInTheProductsLanguageOrEnglish) {
  const MessageCase& c = GetParam();
  if (c.transforms != nullptr) machine.SetString(kHostrelKey, "Transforms", c.transforms);
  machine.SetSystemLanguage(c.systemLanguage);
  machine.InstallService(BlockingServiceNames[0], SERVICE_RUNNING);
  ASSERT_EQ(Check(), 1);
  ASSERT_EQ(machine.MessageBoxes().size(), 1u);
  const auto& box = machine.MessageBoxes()[0];
  const ServiceMessage& expected = BlockingServiceMessages[c.expectedMessage];
  EXPECT_EQ(box.text, expected.text);
  EXPECT_EQ(box.caption, expected.caption);
  EXPECT_EQ(box.style, MB_ICONERROR);
  EXPECT_EQ(box.owner, NO_OWNER_WINDOW);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, GuardMessageTest,
    ::testing::Values(MessageCase{":1033.mst", 0x0409, 0}, MessageCase{":1043.mst", 0x0409, 0},
                      MessageCase{":1031.mst", 0x0409, 1}, MessageCase{":1040.mst", 0x0409, 2},
                      MessageCase{":1041.mst", 0x0409, 3}, MessageCase{":1036.mst", 0x0409, 4},
                      MessageCase{":1034.mst", 0x0409, 0}, MessageCase{":1053.mst", 0x0409, 5},
                      MessageCase{":1028.mst", 0x0409, 0}, MessageCase{":2052.mst", 0x0409, 0},
                      MessageCase{":1049.mst", 0x0407, 0}, MessageCase{"", 0x0407, 0}));

TEST_F(ServiceGuardTest, BlockedRunWritesNothingAndStartsNothing) {
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  machine.InstallService(BlockingServiceNames[2], SERVICE_PAUSED);
  EXPECT_EQ(RunSetup(machine), 1u);
  EXPECT_TRUE(machine.RegistryChanges().empty());
  EXPECT_TRUE(machine.ProcessStarts().empty());
  ASSERT_EQ(machine.MessageBoxes().size(), 1u);
  EXPECT_EQ(machine.MessageBoxes()[0].caption, u"Quarrix Hostrel 8 Loomwork Installation");
}

TEST(BlockingServiceMessages, KeepTheirBlankBeforeEachLineFeed) {
  for (const ServiceMessage& message : BlockingServiceMessages) {
    const std::u16string text = message.text;
    const auto lineFeed = text.find(u'\n');
    ASSERT_NE(lineFeed, std::u16string::npos);
    EXPECT_EQ(text.find(u'\n', lineFeed + 1), std::u16string::npos) << "one line feed";
    const bool japanese = text.find(u'\u3002') != std::u16string::npos;
    if (!japanese) {
      EXPECT_EQ(text[lineFeed - 1], u' ');
    }
  }
  EXPECT_NE(std::u16string(BlockingServiceMessages[0].text).find(u"running.  These"),
            std::u16string::npos);
}

}  // namespace
}  // namespace setup
