// The run log: what an administrator reads when a deployment fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/run_sequence.h"
#include "patch_folder.h"
#include "runner/argument_expansion.h"
#include "services/service_guard.h"
#include "shared/log_events.h"
#include "shared/secret_masking.h"
#include "shared/log_events.h"

namespace setup {
namespace {

using sim::FakeMachine;
using testing::PatchFolderTest;

const std::string kHostrelKey = "Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B";
constexpr char16_t kTempFolder[] = u"C:\\Users\\Setup\\AppData\\Local\\Temp\\";
constexpr char16_t kLogPath[] =
    u"C:\\Users\\Setup\\AppData\\Local\\Temp\\QuarrixPatchSetup_20261208140307_4242.log";

class RunLogTest : public PatchFolderTest {
 protected:
  RunLogTest() {
    AddPatchFile("Hostrel_Update.msp");
    machine.SetString(kHostrelKey, "Transforms", u"C:\\\u0141\u00f3d\u017a\\1031.mst");
    machine.SetCommandLine(u"\"C:\\Patch Files\\Setup.exe\" /qn ADMINPASSWORD=hunter2");
  }

  std::string Log(const std::u16string& path = kLogPath) {
    return machine.FileContents(path).value_or("<no log>");
  }
};

// Each field of the log's name and of its lines' stamps keeps its width; a
// Windows version that cannot be read leaves the start line without one.
TEST_F(RunLogTest, NameAndStampKeepEachFieldsWidth) {
  machine.SetLocalTime({2026, 3, 4, 5, 6, 7, 8});
  machine.FailCall(sim::Operation::RtlGetVersion, ERROR_ACCESS_DENIED);
  RunSetup(machine);
  const std::string log =
      Log(std::u16string(kTempFolder) + u"QuarrixPatchSetup_20260304050607_4242.log");
  EXPECT_EQ(log.rfind("2026-03-04 05:06:07.008 Setup ", 0), 0u) << log;
  EXPECT_NE(log.find(" started, process 4242\r\n"), std::string::npos) << log;
}

TEST_F(RunLogTest, TypicalRunNamesEachDecision) {
  std::size_t flushedBeforeTheInstaller = 0;
  machine.QueueChild([&flushedBeforeTheInstaller](FakeMachine& m) {
    flushedBeforeTheInstaller = m.CallCount(sim::Operation::FlushFileBuffers);
    return 1603u;
  });
  EXPECT_EQ(RunSetup(machine), 1603u);
  // The log reaches the disk before an installer may restart the machine, and at its end.
  EXPECT_EQ(flushedBeforeTheInstaller, 1u);
  EXPECT_EQ(machine.CallCount(sim::Operation::FlushFileBuffers), 2u);
  const std::string log = Log();
  for (const char* line : {
           "2026-12-08 14:03:07.412 Setup ",
           "Command line: \"C:\\Patch Files\\Setup.exe\" /qn ADMINPASSWORD=********\r\n",
           "Unattended: a switch asks for no dialogs",
           "Patch folder: C:\\Patch Files\\, short form C:\\PATCHF~1\\",
           "Product: row 2 (Hostrel, 8C0FD386649E9D942AA845BBA3A1420B), its keyword is in the "
           "patch name and it is registered",
           "Language: row 2 (German, 1031.mst), from the product's Transforms",
           "Backup: Transforms \"C:\\\xC5\x81\xC3\xB3"
           "d\xC5\xBA\\1031.mst\" type 1, 34 bytes copied",
           "Redirection: Transforms set to \"C:\\PATCHF~1\\Files\\1031.mst\"",
           "msiexec.exe /p C:\\PATCHF~1\\Files\\Hostrel_Update.msp REINSTALL=ALL /qn "
           "ADMINPASSWORD=********\r\n",
           "Installer ended with 1603 (the installation failed)",
           "Restore: TransformsBackup deleted",
           "Setup ends with exit status 1603 (the installation failed) after ",
           "Summary: exit=1603 meaning=\"the installation failed\" installer=1603 product=2 "
           "name=Hostrel code=8C0FD386649E9D942AA845BBA3A1420B registered=yes "
           "patch=\"Hostrel_Update.msp\" redirected=yes warnings=transform-missing duration_ms=",
       }) {
    EXPECT_NE(log.find(line), std::string::npos) << "missing: " << line << "\nlog:\n" << log;
  }
  EXPECT_EQ(log.find("hunter2"), std::string::npos) << "a password reached the log";
  EXPECT_NE(machine.ProcessStarts()[0].commandLine.find(u"ADMINPASSWORD=hunter2"),
            std::u16string::npos)
      << "the installer gets the real text";
}

TEST_F(RunLogTest, BlockedRunNamesTheServiceAndTheStatus) {
  machine.InstallService(BlockingServiceNames[1], SERVICE_RUNNING);
  EXPECT_EQ(RunSetup(machine), 1u);
  const std::string log = Log();
  EXPECT_NE(log.find(std::string("Service ") + BlockingServiceNames[1] + ": running (4)"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Setup ends with exit status 1 (a product service is not stopped)"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("installer=none product=2 name=Hostrel code=8C0FD386649E9D942AA845BBA3A1420B"),
            std::string::npos)
      << "the product the message's language came from\n"
      << log;
  // The message's line break is named, so the event keeps to its line.
  EXPECT_NE(log.find("Diese Dienste <LF>m\xC3\xBCssen gestoppt"), std::string::npos) << log;
  for (std::size_t at = 0; at < log.size(); at = log.find("\r\n", at) + 2) {
    EXPECT_EQ(log.compare(at, 11, "2026-12-08 "), 0) << "a line without its stamp:\n" << log;
  }
}

TEST(StatusMeanings, StatusesADeploymentMeetsHaveWords) {
  for (const Status status :
       {1601u, 1605u, 1608u, 1612u, 1619u, 1620u, 1622u, 1624u, 1625u, 1627u,
        1633u, 1635u, 1636u, 1638u, 1639u, 1642u, 1643u, 1644u, 1649u, 9009u}) {
    EXPECT_NE(StatusMeaning(status), nullptr) << status;
  }
}

// The Win32 layer has no log: why msi.dll could not be used reaches it as
// the status of the database query's first step.
TEST_F(RunLogTest, DatabaseQueryNamesTheStepThatFailed) {
  AddDatabase("Product.msi", {{"LanguagePackInstaller", "1"}});
  machine.FailCall(sim::Operation::MsiOpenDatabaseW, 182);
  EXPECT_EQ(RunSetup(machine), 0u);
  EXPECT_NE(Log().find("LanguagePackInstaller not read (182 (an ordinal names another function; "
                       "not used)): no language-pack installer"),
            std::string::npos)
      << Log();
  // A view that did not execute is named too, not taken for a value not set.
  machine.FailCall(sim::Operation::MsiViewExecute, 1627);
  EXPECT_EQ(RunSetup(machine), 0u);
  const std::string second = testing::LastRunLog(machine);
  EXPECT_NE(second.find("LanguagePackInstaller not read (1627 ("), std::string::npos) << second;
}

TEST_F(RunLogTest, SecondLauncherLogsThatAlone) {
  machine.HoldMutexElsewhere(u"Global\\Quarrix.Setup.PatchLauncher");
  EXPECT_EQ(RunSetup(machine), ERROR_INSTALL_ALREADY_RUNNING);
  const std::string log = Log();
  EXPECT_NE(log.find("Another launcher is running: ending with 1618"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\n2026-12-08 14:03:07.412 Summary: exit=1618 meaning=\"another "
                     "installation is in progress\" installer=none product=none name=none "
                     "code=none registered=no patch=\"\" redirected=no warnings=none "
                     "duration_ms=0\r\n"),
            std::string::npos)
      << "that line and the summary only:\n"
      << log;
}

// A log that cannot be made, or whose names are all taken, changes nothing else.
TEST_F(RunLogTest, RunIsTheSameWithoutALog) {
  EXPECT_EQ(RunSetup(machine), 0u);
  const auto changes = machine.RegistryChanges().size();
  const auto command = machine.ProcessStarts().at(0).commandLine;
  EXPECT_EQ(RunSetup(machine), 0u);
  const std::u16string stem = std::u16string(kLogPath).substr(0, TextLength(kLogPath) - 4);
  EXPECT_NE(Log(stem + u"_2.log"), "<no log>") << "a taken name moves on to _2";
  machine.SetDiskFull(true);
  EXPECT_EQ(RunSetup(machine), 0u);
  machine.SetDiskFull(false);

  // The ninth name is the last tried; names all taken in the temporary
  // folder send the log nowhere else.
  for (char16_t last = u'4'; last <= u'8'; ++last) {
    machine.AddFile(stem + u"_" + last + u".log");
  }
  EXPECT_EQ(RunSetup(machine), 0u);
  EXPECT_NE(Log(stem + u"_9.log"), "<no log>");
  EXPECT_EQ(RunSetup(machine), 0u);
  EXPECT_EQ(machine.CreatedFiles().size(), 4u);
  machine.SetTempPath(u"C:\\Denied\\");
  machine.DenyFileCreation(u"C:\\Denied");
  machine.DenyFileCreation(u"C:\\windows\\Temp");
  EXPECT_EQ(RunSetup(machine), 0u);
  EXPECT_EQ(machine.CreatedFiles().size(), 4u);
  EXPECT_EQ(machine.RegistryChanges().size(), 6 * changes);
  EXPECT_EQ(machine.ProcessStarts().back().commandLine, command);
}

// A patch folder C:\Other holding Files\<patch> only, started from there.
void StartInOtherFolder(FakeMachine& m, const char* patch) {
  m.AddFolder("C:\\Other");
  m.AddFolder("C:\\Other\\Files");
  if (patch != nullptr) m.AddFile(std::string("C:\\Other\\Files\\") + patch);
  m.SetCurrentDirectory("C:\\Other");
  m.SetModulePath(u"C:\\Patch Files\\Setup.exe");
}

// A blocked run in German whose patch folder holds 0x0407.ini with `contents`.
void BlockedInGermanWithIni(FakeMachine& m, const char* contents) {
  StartInOtherFolder(m, "Update.msp");
  m.SetSystemLanguage(0x0407);
  m.InstallService(BlockingServiceNames[0], SERVICE_RUNNING);
  m.AddFileWithContents(u"C:\\Other\\0x0407.ini", contents);
}

void AddShipped(FakeMachine& m, const char* name) {
  m.AddFile(std::string(testing::kPatchFolder) + "\\Files\\" + name);
}

struct PreflightCase {
  const char* what;
  void (*arrange)(FakeMachine&);
  std::vector<std::string> present;  // each exactly once
  std::vector<std::string> absent;
  std::u16string logFolder = kTempFolder;
};

class PreflightLogTest : public RunLogTest, public ::testing::WithParamInterface<PreflightCase> {};

// What will go wrong is said before the installer starts, and the restore
// does not log the identification a second time. A log not in the folder
// looked in first says why in its first line.
TEST_P(PreflightLogTest, SaysWhatWillGoWrongAndReadsAsOneRun) {
  GetParam().arrange(machine);
  RunSetup(machine);
  ASSERT_FALSE(machine.CreatedFiles().empty()) << "no log";
  const std::u16string& path = machine.CreatedFiles().front();
  EXPECT_EQ(path.substr(0, path.rfind(u'\\') + 1), GetParam().logFolder);
  const std::string log = Log(path);
  const std::size_t folderLine = log.find(" Log folder: ");
  EXPECT_TRUE(folderLine == std::string::npos || folderLine == 23) << "first, if at all:\n" << log;
  auto count = [&log](const std::string& what) {
    std::size_t found = 0;
    for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++found;
    return found;
  };
  EXPECT_EQ(count(" Patch package: "), 1u) << log;
  for (const std::string& line : GetParam().present) EXPECT_EQ(count(line), 1u) << line << log;
  for (const std::string& line : GetParam().absent) EXPECT_EQ(count(line), 0u) << line << log;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PreflightLogTest,
    ::testing::Values(
        PreflightCase{
            "the transform is not shipped",
            [](FakeMachine&) {},
            {"Pre-flight: Files\\1031.mst is missing; the installer will likely fail "
             "to apply it (1624)",
             " Product: row 2", "Restore: the product whose backup this run holds: row 2"},
            {"patch packages (*.msp)"}},
        PreflightCase{"the transform is shipped",
                      [](FakeMachine& m) { AddShipped(m, "1031.mst"); },
                      {"Redirection: Transforms set to"},
                      {"Pre-flight", "Arguments as expanded"}},
        // By name, whatever the search order; the four after the first named.
        PreflightCase{
            "six packages",
            [](FakeMachine& m) {
              for (const char* name : {"x5.msp", "X2.msp", "x1.msp", "x4.msp", "x3.MSP"}) {
                AddShipped(m, name);
              }
              m.PutFirstInSearchOrder(std::string(testing::kPatchFolder) + "\\Files\\x5.msp");
            },
            {"Pre-flight: 6 patch packages (*.msp) in Files\\; the installer gets the "
             "first by name, \"Hostrel_Update.msp\", the same on every machine; ignored: "
             "\"x1.msp\", \"X2.msp\", \"x3.MSP\", \"x4.msp\" and 1 more. Give each "
             "patch a folder of its own",
             "warnings=several-patches,transform-missing "},
            {"\"x5.msp\""}},
        PreflightCase{"five packages",
                      [](FakeMachine& m) {
                        for (const char* name : {"x1.msp", "x2.msp", "x3.msp", "x4.msp"})
                          AddShipped(m, name);
                      },
                      {"ignored: \"x1.msp\", \"x2.msp\", \"x3.msp\", \"x4.msp\". Give each patch"},
                      {" more"}},
        // UTF-8, a unit that is half of no pair shown as U+FFFD.
        PreflightCase{"the command line in UTF-8",
                      [](FakeMachine& m) {
                        m.SetCommandLine(
                            u"\"C:\\Patch Files\\Setup.exe\" /qn "
                            u"NOTE=\u07FF\u0800\U0010FFFF\U00010000\xD800 \xDFFF\xDBFF");
                      },
                      {"Command line: \"C:\\Patch Files\\Setup.exe\" /qn NOTE=\xDF\xBF\xE0\xA0\x80"
                       "\xF4\x8F\xBF\xBF\xF0\x90\x80\x80\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\r\n"},
                      {}},
        PreflightCase{"no package where started",
                      [](FakeMachine& m) { StartInOtherFolder(m, nullptr); },
                      {"Pre-flight: no patch package (*.msp) in C:\\Other\\Files\\; the "
                       "installer will fail. Setup.exe is in C:\\Patch Files\\: start it with that "
                       "folder as its current directory",
                       "name=none code=none registered=no patch=\"\" redirected=no "
                       "warnings=no-patch "},
                      {}},
        PreflightCase{
            "installed per user, its language-pack row taken",
            [](FakeMachine& m) { m.RemoveKey(kHostrelKey); },
            {"Pre-flight: Hostrel (row 8) is not registered per machine (no "
             "HKEY_CLASSES_ROOT\\Installer\\Products\\E359D2F96F56DF147AD77D973394339F):"
             " installed per user or not at all; nothing is redirected",
             " product=8 name=Hostrel code=E359D2F96F56DF147AD77D973394339F registered=no "},
            {"Backup:", "Recovery:", "Restore:"}},
        PreflightCase{
            "its language-pack row taken, and that product registered",
            [](FakeMachine& m) {
              m.RemoveKey(kHostrelKey);
              m.AddKey("Installer\\Products\\E359D2F96F56DF147AD77D973394339F");
            },
            {" product=8 name=Hostrel code=E359D2F96F56DF147AD77D973394339F registered=yes "},
            {"not registered per machine"}},
        PreflightCase{"registered, but refusing changes",
                      [](FakeMachine& m) { m.DenyWrite(kHostrelKey); },
                      {" product=2 name=Hostrel code=8C0FD386649E9D942AA845BBA3A1420B "
                       "registered=yes "},
                      {"Restore:"}},
        PreflightCase{"installed per user, no row taken",
                      [](FakeMachine& m) { StartInOtherFolder(m, "Wrenfield_Ostra_Update.msp"); },
                      {"Pre-flight: Wrenfield (row 1) is not registered per machine",
                       " product=none name=none code=none registered=no "},
                      {"Restore:", "Ostra (row 3)"}},
        // Windows reads ini files as ANSI or UTF-16 with a mark: one saved as
        // UTF-8 gives the message no words there (the machine gives none).
        PreflightCase{"a language ini saved as UTF-8",
                      [](FakeMachine& m) {
                        BlockedInGermanWithIni(m,
                                               "\xEF\xBB\xBF[0x0407]\r\nDESCRIPTION=Deutsch\r\n");
                      },
                      {"Pre-flight: 0x0407.ini is saved as UTF-8, which Windows reads as ANSI",
                       "warnings=no-keyword,ini-utf8 "},
                      {}},
        PreflightCase{"a language ini without the mark",
                      [](FakeMachine& m) { BlockedInGermanWithIni(m, "\xEF\xBB"); },
                      {"warnings=no-keyword "},
                      {"saved as UTF-8"}},
        PreflightCase{"a language ini with a mark of its own",
                      [](FakeMachine& m) { BlockedInGermanWithIni(m, "\xEF\xBB\xBE[0x0407]"); },
                      {"warnings=no-keyword "},
                      {"saved as UTF-8"}},
        // STILL_ACTIVE: a tool polling the launcher's exit status would wait for ever.
        PreflightCase{"the installer ends with 259",
                      [](FakeMachine& m) { m.QueueChild([](FakeMachine&) { return 259u; }); },
                      {"Installer ended with 259 (the installer ended with 259, STILL_ACTIVE",
                       "Summary: exit=1603 meaning=\"the installation failed\" installer=259 "},
                      {}},
        PreflightCase{"a service still starting",
                      [](FakeMachine& m) {
                        m.InstallService(BlockingServiceNames[0], SERVICE_START_PENDING);
                      },
                      {"Service Quarrix Loomwork (CONFIG): start pending (2)\r\n"},
                      {}},
        PreflightCase{"no product keyword",
                      [](FakeMachine& m) { StartInOtherFolder(m, "Update.msp"); },
                      {"Pre-flight: no product keyword in the patch's name; nothing is "
                       "redirected"},
                      {"Pre-flight: no patch package"}},
        // TMP naming a missing folder, or one the account may not write:
        // the Windows folder's Temp takes the log, made new as everywhere.
        PreflightCase{"the temporary folder is missing",
                      [](FakeMachine& m) { m.SetTempPath(u"C:\\missing\\"); },
                      {"Log folder: C:\\windows\\Temp\\ (the temporary folder C:\\missing\\ "
                       "could not take the log: 3 (path not found))"},
                      {},
                      u"C:\\windows\\Temp\\"},
        PreflightCase{"the temporary folder refuses new files",
                      [](FakeMachine& m) { m.DenyFileCreation(kTempFolder); },
                      {"(the temporary folder C:\\Users\\Setup\\AppData\\Local\\Temp\\ could "
                       "not take the log: 5 (access denied))"},
                      {},
                      u"C:\\windows\\Temp\\"},
        PreflightCase{"the temporary folder cannot be read",
                      [](FakeMachine& m) { m.FailCall(sim::Operation::GetTempPathW, 0); },
                      {"Log folder: C:\\windows\\Temp\\ (the temporary folder could not be read)"},
                      {},
                      u"C:\\windows\\Temp\\"},
        // Where kernel32 has GetTempPath2W, SYSTEM's log goes to a folder
        // only SYSTEM can write; should the call fail, GetTempPathW's.
        PreflightCase{"GetTempPath2W gives SYSTEM's own folder",
                      [](FakeMachine& m) {
                        m.SetTempPath2(u"C:\\windows\\SystemTemp\\");
                        m.AddFolder("C:\\windows\\SystemTemp");
                      },
                      {},
                      {"Log folder"},
                      u"C:\\windows\\SystemTemp\\"},
        PreflightCase{"GetTempPath2W fails",
                      [](FakeMachine& m) {
                        m.SetTempPath2(u"C:\\windows\\SystemTemp\\");
                        m.FailCall(sim::Operation::GetTempPath2W, 0);
                      },
                      {},
                      {"Log folder"}}));

// The one table of wordings: facts fill its places in order, text already
// shown in a line is not shown again, and a status carries its meaning
// whichever step reports it.
template <LogEvent Event, typename... Facts>
std::u16string Said(const Facts&... facts) {
  LogLine line;
  return Say<Event>(line, facts...).c_str();
}

// Facts that do not fill a wording's places, in number or in kind, do not
// compile: the rules the check keeps, stated on their own.
constexpr struct {
  const char* wording;
  const char* kinds;
  bool fits;
} kPlaceRules[] = {
    {"Service %w: %w (%n)", "wwn", true},
    {"Service %w: %w (%n)", "w", false},           // too few
    {"Patch package: %w%t", "wtt", false},         // too many
    {"could not be started: %s", "n", false},      // a number is no status
    {"TransformsBackup %q was left", "t", false},  // text is not quoted text
    {"Transforms %f was given", "q", true},        // a fact of any kind
    {"Transforms %f was given", "", false},
    {"no places", "", true},
    {"%t%t", "tt", true},  // places side by side
};
constexpr bool PlaceRulesHold() {
  for (const auto& rule : kPlaceRules) {
    std::size_t count = 0;
    while (rule.kinds[count] != '\0') ++count;
    if (log_wording::FactsFit(rule.wording, rule.kinds, count) != rule.fits) return false;
  }
  return true;
}
static_assert(PlaceRulesHold(), "the place rules");
static_assert(log_wording::Fits<LogEvent::LanguageOfSystem, int, const char*,
                                FormedFact<LogFact::Kind::Hex4>, const char16_t*>());
static_assert(!log_wording::Fits<LogEvent::JournalLeft, const char16_t*>());
static_assert(log_wording::Fits<LogEvent::InstallerCommandLine, const char16_t*, LogLine>());

TEST(LogEvents, FactsFillTheWordingsPlacesInOrder) {
  LogLine shown;
  shown << u"a\nb";
  // More units than a fact's count holds: shown as many as it holds, cut.
  const std::u16string overLong(0x10000 + 4, u'x');
  const struct {
    std::u16string line;
    const char16_t* expected;
  } cases[] = {
      {Said<LogEvent::ServiceState>("Q", "running", 4u), u"Service Q: running (4)"},
      {Said<LogEvent::PatchPackage>("", u"a.msp"), u"Patch package: a.msp"},
      // DEL, the C1 controls' last, the paragraph separator: named; U+00A0 is text.
      {Said<LogEvent::PatchPackage>("", u"a\u007Fb\u009Fc\u00A0d\u2029e"),
       u"Patch package: a<U+007F>b<U+009F>c\u00A0d<U+2029>e"},
      {Said<LogEvent::RestoreProductHeld>(-1),
       u"Restore: the product whose backup this run holds: row -1"},
      {Said<LogEvent::PatchPackage>("none (*.msp) in ", u"C:\\P\\Files\\"),
       u"Patch package: none (*.msp) in C:\\P\\Files\\"},
      {Said<LogEvent::NotStarted>(StatusText{0}), u"Installer: could not be started: 0 (success)"},
      {Said<LogEvent::NotStarted>(StatusText{4242}),
       u"Installer: could not be started: 4242 (a Windows error code)"},
      {Said<LogEvent::InstallerEnded>(InstallerStatusText{1}),
       u"Installer ended with 1 (the installer ended with 1, reported as 1603)"},
      {Said<LogEvent::InstallerEnded>(InstallerStatusText{259}),
       u"Installer ended with 259 (the installer ended with 259, STILL_ACTIVE, a running "
       u"process's code; reported as 1603, since a tool polling the launcher's exit code would "
       u"take 259 for a launcher still running)"},
      {Said<LogEvent::InstallerEnded>(InstallerStatusText{7777}),
       u"Installer ended with 7777 (the installer's own status)"},
      {Said<LogEvent::JournalLeft>(InQuotes(u"a\0b", 3)),
       u"Recovery: TransformsBackup \"a<NUL>b\" was left by a run that did not finish; it is "
       u"finished before anything else"},
      {Said<LogEvent::InstallerCommandLine>(u"cmd.exe", shown),
       u"Installer command line: cmd.exe a<LF>b"},
      {Said<LogEvent::LanguageOfSystem>(0, "English", Hex4(0x409), u"0x0409"),
       u"Language: row 0 (English), from the system language 0x0409 and the patch folder's ini "
       u"file 0x0409.ini"},
      {Said<LogEvent::CommandLine>(SecretsMasked(u"/qn PASSWORD=x")),
       u"Command line: /qn PASSWORD=********"},
      {Said<LogEvent::Unattended>("session 0", "not read: ", LogFact(StatusText{5})),
       u"Unattended: session 0; no message box is shown (session not read: 5 (access denied))"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.line, c.expected);
  // A value longer than a fact's count, or a line, still ends its line cut.
  LogLine cut;
  Say<LogEvent::UnprovenStays>(cut, InQuotes(overLong.c_str(), overLong.size()));
  EXPECT_EQ(std::u16string(cut.c_str()).substr(cut.length() - 4), u"x...");
}

TEST(SecretMasking, HidesTheValuesOfSecretProperties) {
  const struct {
    const char16_t* text;
    const char16_t* logged;
  } cases[] = {
      {u"/qn PASSWORD=x REBOOT=R", u"/qn PASSWORD=******** REBOOT=R"},
      {u"SqlPwd=\"a b\" /l*v x.log", u"SqlPwd=\"********\" /l*v x.log"},
      // The installer ends a value at a blank only: a tab and what follows
      // belong to it.
      {u"  \"SERVICE_TOKEN=a b\"\tPIDKEY=ABC", u"  \"SERVICE_TOKEN=********\""},
      {u"PASSWORD=ab\trest /qn", u"PASSWORD=******** /qn"},
      {u"A=1\tPIDKEY=ABC /qn", u"A=1<TAB>PIDKEY=******** /qn"},
      {u"AdminPass=x PASSPHRASE=\"y z\"", u"AdminPass=******** PASSPHRASE=\"********\""},
      {u"PRODUCTKEY=A-B LicenseKey=C CREDENTIAL=D",
       u"PRODUCTKEY=******** LicenseKey=******** CREDENTIAL=********"},
      // Blanks around "=", quoted names: every form the installer assigns.
      {u"MYSECRET= passwd", u"MYSECRET= ********"},
      {u"PASSWORD = x /qn", u"PASSWORD = ******** /qn"},
      {u"PASSWORD =x", u"PASSWORD =********"},
      {u"\"PASSWORD\"=\"x\" /qn", u"\"PASSWORD\"=\"********\" /qn"},
      {u"\"PASSWORD=a\"\"b\"", u"\"PASSWORD=********\"\"\""},
      {u"\"PASSWORD= x\"", u"\"PASSWORD=********\""},
      {u"/qn PIDKEY", u"/qn PIDKEY"},
      {u"KEYS /qn =x", u"KEYS /qn =x"},
      {u"TARGETDIR=C:\\Password Files", u"TARGETDIR=C:\\Password Files"},
      // A variable's value is masked whole, blanks and quotes included, and only it.
      {u"PASSWORD=%PW% /qn", u"PASSWORD=******** /qn"},
      {u"A=%PQ% KEY=%PQ% B", u"A=a \"b c\" d KEY=********\"\" B"},
      {u"SqlPwd=%PW%x y", u"SqlPwd=******** y"},
      {u"PASSWORD=a%PB% /qn", u"PASSWORD=******** /qn"},
      {u"USER=%PW% PASSWORD = %PW%", u"USER=s3cX t0pY PASSWORD = ********"},
  };
  sim::FakeMachine machine;
  machine.SetEnvironmentVariable(u"PW", u"s3cX t0pY");
  machine.SetEnvironmentVariable(u"PQ", u"a \"b c\" d");
  machine.SetEnvironmentVariable(u"PB", u" z9");
  for (const auto& c : cases) {
    WideLongText expanded;
    UnitsFromVariables fromVariables;
    ASSERT_EQ(ExpandWithEnvironment(machine, u"C:\\", c.text, expanded, fromVariables), 0u);
    LogLine line;
    AppendWithSecretsMasked(line, expanded.c_str(), &fromVariables);
    EXPECT_EQ(std::u16string(line.c_str()), c.logged);
  }
}

// Both lines that show the arguments expanded mask a secret given as a variable.
TEST_F(RunLogTest, SecretGivenAsAVariableIsMaskedWhole) {
  machine.SetEnvironmentVariable(u"PW", u"s3cX t0pY");
  machine.SetCommandLine(u"Setup.exe /qn ADMINPASSWORD=%PW%");
  RunSetup(machine);
  const std::string log = Log();
  EXPECT_NE(log.find("Arguments as expanded: /qn ADMINPASSWORD=********\r\n"), std::string::npos);
  EXPECT_NE(log.find("REINSTALL=ALL /qn ADMINPASSWORD=********\r\n"), std::string::npos);
  EXPECT_EQ(log.find("t0pY"), std::string::npos) << log;
  EXPECT_NE(machine.ProcessStarts().at(0).commandLine.find(u"ADMINPASSWORD=s3cX t0pY"),
            std::u16string::npos);
}

}  // namespace
}  // namespace setup
