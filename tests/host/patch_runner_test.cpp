#include "runner/patch_runner.h"

#include <string>

#include "launcher/run_sequence.h"
#include "patch_folder.h"
#include "proof/interpreter_model.h"
#include "runner/installer_command_line.h"

namespace setup {
namespace {

using sim::FakeMachine;
using sim::Operation;
using sim::ProcessStart;
using testing::PatchFolderTest;

constexpr char16_t kInstallerPrefix[] =
    u"/D /E:ON /V:OFF /C C:\\windows\\system32\\msiexec.exe /p C:\\PATCHF~1\\Files\\";

class PatchRunnerTest : public PatchFolderTest {
 protected:
  PatchRunnerTest() { CaptureFolder(); }

  // Prepares the installer's command from `tail` and, unless refused, runs it: the status.
  Status Patch(const char16_t* tail) {
    const InstallerCommand command = PrepareInstallerCommand(machine, run, folder, tail);
    return command.refusal != ERROR_SUCCESS ? command.refusal
                                            : RunPatch(machine, run, folder, command).status;
  }

  const ProcessStart& OnlyStart() {
    EXPECT_EQ(machine.ProcessStarts().size(), 1u);
    return machine.ProcessStarts().at(0);
  }
};

TEST_F(PatchRunnerTest, StartsTheInterpreterHiddenWithTheExactInstallerLine) {
  AddPatchFile("Hostrel_Update.msp");
  EXPECT_EQ(Patch(u"/qn PROP=1"), 0u);

  const ProcessStart& start = OnlyStart();
  EXPECT_EQ(start.applicationName, u"C:\\windows\\system32\\cmd.exe");
  EXPECT_EQ(start.commandLine,
            u"/D /E:ON /V:OFF /C C:\\windows\\system32\\msiexec.exe /p "
            u"C:\\PATCHF~1\\Files\\Hostrel_Update.msp"
            u" REINSTALL=ALL /qn PROP=1");
  EXPECT_EQ(start.currentDirectory, u"C:\\PATCHF~1\\");
  EXPECT_EQ(start.creationFlags, NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(start.startupInfo.size, 68u);
  EXPECT_EQ(start.startupInfo.flags, STARTF_USESHOWWINDOW);
  EXPECT_EQ(start.startupInfo.showWindow, SW_HIDE);
  EXPECT_TRUE(start.childRan) << "the launcher must wait for the installer";
}

// The longest name looked up: far longer than a path, as names in the environment may be.
const std::u16string kLongName(999, u'N');

// The environment the tail rows expand in, and the interpreter as Windows
// reads the line: every variable expanded over the whole line first.
void SetEnvironment(FakeMachine& machine, proof::ModelEnvironment& model) {
  const std::pair<std::u16string, const char16_t*> variables[] = {
      {u"TEMP", u"C:\\Users\\Setup\\AppData\\Local\\Temp"},
      {u"ProgramFiles(x86)", u"C:\\Program Files (x86)"},
      {u"OS", u"Windows_NT"},
      {u"QV", u"a&echo hi>C:\\mq.txt"},
      {u"PIPE", u"a|b"},
      {u"Q", u"\"x & y\""},
      {u"Q1", u"\"open"},
      {u"P", u"%OS%"},
      {kLongName, u"long"},
  };
  for (const auto& [name, value] : variables) {
    machine.SetEnvironmentVariable(name, value);
    model.Set(name, value);
  }
  model.currentDirectory = u"C:\\PATCHF~1";  // the interpreter's, never expanded by it
}

struct TailCase {
  const char* name;
  std::u16string tail;
  std::uint32_t threadCodePage;
  std::u16string installerGets;  // the arguments, as the installer receives them
};

class PatchRunnerTailTest : public PatchRunnerTest,
                            public ::testing::WithParamInterface<TailCase> {};

TEST_P(PatchRunnerTailTest, InstallerGetsTheTailAsAPromptExpandsIt) {
  const TailCase& c = GetParam();
  proof::ModelEnvironment model;
  SetEnvironment(machine, model);
  machine.SetThreadCodePage(c.threadCodePage);
  AddPatchFile("Hostrel_Update.msp");
  EXPECT_EQ(Patch(c.tail.c_str()), 0u);
  const std::u16string line = OnlyStart().commandLine;
  const std::u16string switches = u"/D /E:ON /V:OFF /C ";
  ASSERT_EQ(line.compare(0, switches.size(), switches), 0) << "switches first";
  std::u16string installerText;
  ASSERT_TRUE(proof::RunsOneCommand(line.substr(switches.size()), model, installerText))
      << "one command, no second one from a value's operators";
  EXPECT_EQ(installerText,
            u"C:\\windows\\system32\\msiexec.exe /p "
            u"C:\\PATCHF~1\\Files\\Hostrel_Update.msp REINSTALL=ALL " +
                c.installerGets);
  std::u16string unescaped = line;
  for (std::size_t at; (at = unescaped.find(u"%%cd:~,%")) != std::u16string::npos;) {
    unescaped.erase(at, 8);
  }
  EXPECT_EQ(unescaped.find(u'%'), std::u16string::npos)
      << "a \"%\" reaches the interpreter only escaped";
}

INSTANTIATE_TEST_SUITE_P(
    Tails, PatchRunnerTailTest,
    ::testing::Values(
        TailCase{"Empty", u"", 1252, u""},
        TailCase{"QuotesAndSwitches", u"/l*v \"C:\\my log.txt\" PROP=\"a b\" /qb!", 1252,
                 u"/l*v \"C:\\my log.txt\" PROP=\"a b\" /qb!"},
        TailCase{"Latin1WhateverTheThreadCodePage", u"NAME=\u00e9t\u00e9", 932,
                 u"NAME=\u00e9t\u00e9"},
        TailCase{"KanaWhateverTheThreadCodePage", u"NAME=\u3042", 1252, u"NAME=\u3042"},
        TailCase{"OperatorsOutsideQuotes", u"/qn COMPANY=AT&T X=a|b<c>d", 1252,
                 u"/qn COMPANY=AT&T X=a|b<c>d"},
        TailCase{"CaretsAndParentheses", u"PASSWORD=Pa^ss (x) ^", 1252, u"PASSWORD=Pa^ss (x) ^"},
        TailCase{"OperatorsInsideQuotes", u"Q=\"a&b|c^d (e)\" R=&", 1252, u"Q=\"a&b|c^d (e)\" R=&"},
        TailCase{"UnbalancedQuoteKeepsTheRestPlain", u"X=\"a & b", 1252, u"X=\"a & b"},
        TailCase{"QuotesCountedAcrossWords", u"A=\"x\" & B=\"y&\"&", 1252, u"A=\"x\" & B=\"y&\"&"},
        // Expanded by the launcher as at a prompt; "!" is text.
        TailCase{"PercentAndBangAsTyped", u"/l*v \"%TEMP%\\x.log\" P=100%! %", 1252,
                 u"/l*v \"C:\\Users\\Setup\\AppData\\Local\\Temp\\x.log\" P=100%! %"},
        TailCase{"ParenthesesInANameQuoted", u"DIR=\"%ProgramFiles(x86)%\\Q\"", 1252,
                 u"DIR=\"C:\\Program Files (x86)\\Q\""},
        TailCase{"ParenthesesInANameBare", u"DIR=%ProgramFiles(x86)%\\Q", 1252,
                 u"DIR=C:\\Program Files (x86)\\Q"},
        TailCase{"ValueHoldingOperators", u"X=%QV% Y=%pipe%", 1252,
                 u"X=a&echo hi>C:\\mq.txt Y=a|b"},
        TailCase{"ValueHoldingQuotes", u"X=%Q% Y=a&b", 1252, u"X=\"x & y\" Y=a&b"},
        TailCase{"ValueOpeningAQuote", u"X=%Q1% Y=a&b", 1252, u"X=\"open Y=a&b"},
        TailCase{"ValueHoldingAReferenceIsNotReadAgain", u"X=%P%", 1252, u"X=%OS%"},
        TailCase{"DoublePercentAndUndefined", u"A=%% B=%NOPE% C=%NOPE%OS%", 1252,
                 u"A=%% B=%NOPE% C=%NOPEWindows_NT"},
        TailCase{"CurrentDirectoryLong", u"/l*v \"%CD%\\x.log\"", 1252,
                 u"/l*v \"C:\\Patch Files\\x.log\""},
        TailCase{"FormsNotExpandedStayAsTyped", u"A=%PATH:~0,3% B=%DATE% C=%RANDOM%", 1252,
                 u"A=%PATH:~0,3% B=%DATE% C=%RANDOM%"},
        // A ':' makes a form only after a defined name (CD counts); else the "%" stays alone.
        TailCase{"DefinedNamesFormsStayWhole", u"A=%OS:~0,3%TEMP% B=%cd:~0,2%TEMP%", 1252,
                 u"A=%OS:~0,3%TEMP% B=%cd:~0,2%TEMP%"},
        TailCase{"LonePercentThenColon", u"SIZE=100% /l*v C:\\%OS%.log", 1252,
                 u"SIZE=100% /l*v C:\\Windows_NT.log"},
        TailCase{"PercentColonInQuotes", u"C=\"50%: phase 2\" /l*v \"%TEMP%\\p.log\"", 1252,
                 u"C=\"50%: phase 2\" /l*v \"C:\\Users\\Setup\\AppData\\Local\\Temp\\p.log\""},
        TailCase{"UndefinedNamesForm", u"%NOPE:~0,3%TEMP%", 1252,
                 u"%NOPE:~0,3C:\\Users\\Setup\\AppData\\Local\\Temp"},
        TailCase{"EmptyNameBeforeColon", u"A=%:%OS% B=%%:%OS%", 1252,
                 u"A=%:Windows_NT B=%%:Windows_NT"},
        TailCase{"NameLongerThanAPath", u"L=%" + kLongName + u"%", 1252, u"L=long"}),
    [](const ::testing::TestParamInfo<TailCase>& param) { return param.param.name; });

// The path is the launcher's own: nothing in it may reach the installer
// changed, so a "%" is kept from the interpreter's expansion.
TEST_F(PatchRunnerTest, PatchPathReachesTheInstallerLiterally) {
  struct {
    const char16_t* folder;
    const char16_t* file;
    const char16_t* expectedPath;
  } const cases[] = {
      {u"C:\\P%OS%", u"H%OS%.msp", u"C:\\P%%cd:~,%OS%%cd:~,%\\Files\\H%%cd:~,%OS%%cd:~,%.msp"},
      {u"C:\\100%", u"a (1)%.msp", u"\"C:\\100%%cd:~,%\\Files\\a (1)%%cd:~,%.msp\""},
  };
  machine.SetEnvironmentVariable(u"NL", u"a\nb");
  for (const auto& c : cases) {
    machine.SetShortNamesAvailable(false);
    machine.AddFolder(std::u16string(c.folder) + u"\\Files");
    machine.AddFile(std::u16string(c.folder) + u"\\Files\\" + c.file);
    machine.SetCurrentDirectory(c.folder);
    CaptureFolder();
    EXPECT_EQ(Patch(u"/qn"), 0u);
    EXPECT_EQ(machine.ProcessStarts().back().commandLine,
              u"/D /E:ON /V:OFF /C C:\\windows\\system32\\msiexec.exe /p " +
                  std::u16string(c.expectedPath) + u" REINSTALL=ALL /qn");
  }
}

// Cut at a line break, the installer would get other arguments than given;
// a quote would end the path's quoting early, and "msiexec /p" reads ';'
// as the separator between patches. Refused before anything changes, the
// log naming the cause: a break typed in the arguments is theirs, whatever
// a variable holds.
TEST_F(PatchRunnerTest, WhatCannotBeCarriedStartsNothing) {
  const struct {
    const char16_t* folder;  // without short names
    const char16_t* file;
    const char16_t* tail;
    const char* logged;
  } cases[] = {
      {u"C:\\Patch Files", u"Hostrel_Update.msp", u"/qn X=a\nB=b", "arguments hold a line break"},
      {u"C:\\Patch Files", u"Hostrel_Update.msp", u"/qn X=\"a\rb\"", "arguments hold a line break"},
      {u"C:\\Patch Files", u"Hostrel_Update.msp", u"/qn X=%NL%", "a variable it names holds"},
      {u"C:\\Patch Files", u"Hostrel_Update.msp", u"/qn X=%NL% Y=\n",
       "arguments hold a line break"},
      {u"C:\\Patch Files", u"Hostrel_Update.msp", u"/qn X=%NOPE%\r", "arguments hold a line break"},
      {u"C:\\Q\"uote", u"Hostrel_Update.msp", u"/qn", "holds a quote, a ';'"},
      {u"C:\\Named", u"Hostrel;2.msp", u"/qn", "holds a quote, a ';'"},
      {u"C:\\Patch;Files", u"Hostrel_Update.msp", u"/qn", "holds a quote, a ';'"},
  };
  machine.SetEnvironmentVariable(u"NL", u"a\nb");
  for (const auto& c : cases) {
    machine.SetShortNamesAvailable(false);
    machine.AddFolder(std::u16string(c.folder) + u"\\Files");
    machine.AddFile(std::u16string(c.folder) + u"\\Files\\" + c.file);
    machine.SetCurrentDirectory(c.folder);
    CaptureFolder();
    OpenRunLog(machine, run.Log);
    EXPECT_EQ(PrepareInstallerCommand(machine, run, folder, c.tail).refusal,
              ERROR_INVALID_COMMAND_LINE)
        << c.logged;
    CloseRunLog(run.Log);
    EXPECT_NE(machine.FileContents(machine.CreatedFiles().back()).value_or("").find(c.logged),
              std::string::npos)
        << c.logged;
    EXPECT_EQ(Patch(c.tail), ERROR_INVALID_COMMAND_LINE) << c.logged;
  }
  EXPECT_TRUE(machine.ProcessStarts().empty());
  machine.SetCurrentDirectory(u"C:\\Patch Files");
  CaptureFolder();
  EXPECT_EQ(PrepareInstallerCommand(machine, run, folder, u"/qn X=\"a;b\"").refusal, ERROR_SUCCESS)
      << "a ';' in the arguments is the installer's to read";
}

TEST_F(PatchRunnerTest, PatchPathWithBlankOrOperatorIsQuoted) {
  // Each sorts before the one of the row above.
  for (const char* name : {"Hostrel Update.msp", "a&b_Hostrel.msp", "^y|z<w>.msp"}) {
    machine.AddFile(std::string(testing::kPatchFolder) + "\\Files\\" + name, "HOSTRE~1.MSP");
    EXPECT_EQ(Patch(u"/qn"), 0u);
    const std::u16string expected =
        u"/D /E:ON /V:OFF /C C:\\windows\\system32\\msiexec.exe /p \"C:\\PATCHF~1\\Files\\" +
        machine.DecodeAnsi(name) + u"\" REINSTALL=ALL /qn";
    EXPECT_EQ(machine.ProcessStarts().back().commandLine, expected) << name;
  }
}

TEST_F(PatchRunnerTest, NoPatchPackageStillStartsTheInstallerWithAnEmptyName) {
  machine.QueueChild([](FakeMachine&) { return 1619u; });
  EXPECT_EQ(Patch(u""), 1619u) << "the installer's report becomes ours";
  EXPECT_EQ(OnlyStart().commandLine, std::u16string(kInstallerPrefix) + u" REINSTALL=ALL ");
}

TEST_F(PatchRunnerTest, ReturnsTheInstallersStatusIncludingStillActive) {
  AddPatchFile("Hostrel_Update.msp");
  for (std::uint32_t status : {0u, 1603u, 3010u, 1641u, 259u}) {
    machine.QueueChild([status](FakeMachine&) { return status; });
    EXPECT_EQ(Patch(u""), status);
  }
  EXPECT_EQ(machine.KernelHandleCloses().size(), 10u) << "process and thread handle each time";
}

TEST_F(PatchRunnerTest, ChildThatCannotStartEndsTheWaitWithItsError) {
  AddPatchFile("Hostrel_Update.msp");
  machine.FailCall(Operation::CreateProcessW, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Patch(u""), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(machine.CallCount(Operation::WaitForSingleObject), 0u);
}

// The restore after a failed wait would pull Transforms from under a
// running installer: the launcher polls until the installer has ended.
TEST_F(PatchRunnerTest, FailedWaitFallsBackToPollingUntilTheInstallerHasEnded) {
  AddPatchFile("Hostrel_Update.msp");
  for (int failedWaits : {1, 3}) {
    machine.QueueChild([](FakeMachine&) { return 1603u; });
    for (int n = 1; n <= failedWaits; ++n) {
      machine.FailCall(Operation::WaitForSingleObject, ERROR_INVALID_HANDLE, n);
    }
    EXPECT_EQ(Patch(u""), 1603u) << failedWaits << " failed waits";
    EXPECT_TRUE(machine.ProcessStarts().back().childRan) << "returned before the installer ended";
  }
  EXPECT_EQ(machine.CallCount(Operation::Sleep), 2u) << "a pause after each poll whose wait failed";

  machine.FailCall(Operation::WaitForSingleObject, ERROR_INVALID_HANDLE, 1);
  machine.FailCall(Operation::GetExitCodeProcess, ERROR_INVALID_HANDLE, 1);
  machine.FailCall(Operation::WaitForSingleObject, ERROR_INVALID_HANDLE, 2);
  EXPECT_EQ(Patch(u""), ERROR_INVALID_HANDLE) << "a handle that answers nothing";
}

TEST_F(PatchRunnerTest, LinesThatDoNotFitAreRefusedWithoutStartingAnything) {
  AddPatchFile("Hostrel_Update.msp");
  const std::u16string tailOf999(999, u'a');  // fits the argument text, not the command line
  EXPECT_EQ(Patch(tailOf999.c_str()), ERROR_INSUFFICIENT_BUFFER);
  const std::u16string tailOf1000(1000, u'a');  // does not fit the argument text
  EXPECT_EQ(Patch(tailOf1000.c_str()), ERROR_INSUFFICIENT_BUFFER);
  // The limit counts escapes: 120 signs of 8 units each, after 105 fixed.
  machine.SetCommandLine(u"Setup.exe " + std::u16string(120, u'%'));
  EXPECT_EQ(RunSetup(machine), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_NE(testing::FirstRunLog(machine).find(
                "the command line handed to the interpreter would be 1065 units, escapes included "
                "(the arguments: 120 units as given); at most 999 fit"),
            std::string::npos)
      << testing::FirstRunLog(machine);
  EXPECT_TRUE(machine.ProcessStarts().empty());
  // Arguments too long to expand have no expanded line.
  machine.SetCommandLine(u"Setup.exe " + tailOf1000);
  EXPECT_EQ(RunSetup(machine), ERROR_INSUFFICIENT_BUFFER);
  const std::string log = testing::LastRunLog(machine);
  EXPECT_NE(log.find("would be longer still (the arguments: 1000 units as given); at most 999"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("Arguments as expanded"), std::string::npos) << log;

  // The longest tail that fits still runs, to the last unit.
  const std::size_t fixedPart = std::u16string(kInstallerPrefix).size() +
                                std::u16string(u"Hostrel_Update.msp REINSTALL=ALL ").size();
  const std::u16string longest(999 - fixedPart, u'b');
  EXPECT_EQ(Patch(longest.c_str()), 0u);
  EXPECT_EQ(OnlyStart().commandLine.size(), 999u);
}

TEST_F(PatchRunnerTest, NoSystemFolderStartsNothing) {
  AddPatchFile("Hostrel_Update.msp");
  machine.FailCall(Operation::GetSystemDirectoryW, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Patch(u""), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(machine.ProcessStarts().empty());
}

TEST(InstallerCommandLine, QuotingCharacters) {
  EXPECT_FALSE(NeedsQuoting(u"C:\\PATCHF~1\\Files\\Hostrel_Update.msp"));
  for (const char16_t* path :
       {u"a b", u"a\tb", u"a&b", u"a|b", u"a<b", u"a>b", u"a^b", u"a(b", u"a)b"}) {
    EXPECT_TRUE(NeedsQuoting(path)) << "path with an interpreter character must be quoted";
  }
}

}  // namespace
}  // namespace setup
