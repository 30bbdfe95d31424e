// The product's Transforms across whole runs: redirected while the
// installer runs, the product's own value (or its absence) afterwards.
#include <optional>
#include <string>
#include <vector>

#include "detection/product_identification.h"
#include "discovery/file_discovery.h"
#include "launcher/run_sequence.h"
#include "patch_folder.h"
#include "sim/utf16_bytes.h"
#include "transforms/transforms_redirection.h"

namespace setup {
namespace {

using sim::FakeMachine;
using sim::Operation;
using testing::PatchFolderTest;

const std::string kHostrelKey = "Installer\\Products\\8C0FD386649E9D942AA845BBA3A1420B";
const std::string kBrisantKey = "Installer\\Products\\CFEC5A5C742AD604485FA193EF4D3624";

struct Values {
  std::optional<std::string> transforms;
  std::optional<std::string> backup;
};

class TransformsRunTest : public PatchFolderTest {
 protected:
  TransformsRunTest() { CaptureFolder(); }

  Values Read(const std::string& key) {
    return {machine.GetString(key, "Transforms"), machine.GetString(key, "TransformsBackup")};
  }

  // Runs the launcher; returns its exit status and what the installer saw.
  Status Run(Values* during, std::uint32_t installerStatus = 0) {
    machine.QueueChild([this, during, installerStatus](FakeMachine&) {
      if (during != nullptr) *during = Read(kHostrelKey);
      return installerStatus;
    });
    return RunSetup(machine);
  }

  // A run cut short while the installer ran: the restore never came.
  void InterruptedRun() {
    run = RunState{};
    CaptureFolder();
    const PatchPackages packages = ListPatchPackages(machine, run, folder);
    redirection = RedirectTransforms(machine, run, folder,
                                     IdentifyProduct(machine, run, folder, packages.chosen));
  }

  void RegisterHostrel() {
    AddPatchFile("Hostrel_Update.msp");
    machine.AddKey(kHostrelKey);
  }

  Redirection redirection;  // what InterruptedRun's redirection left for the restore
};

TEST_F(TransformsRunTest, ProductsOwnValueIsRedirectedAndPutBack) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  Values during;
  EXPECT_EQ(Run(&during), 0u);
  EXPECT_EQ(during.transforms, "C:\\PATCHF~1\\Files\\1031.mst");
  EXPECT_EQ(during.backup, ":1031.mst");
  const Values after = Read(kHostrelKey);
  EXPECT_EQ(after.transforms, ":1031.mst");
  EXPECT_EQ(after.backup, std::nullopt);
}

// Whatever the installer did to the redirected value, the product had none.
TEST_F(TransformsRunTest, RedirectionDeletedWhileTheInstallerRunsLeavesNeither) {
  RegisterHostrel();
  machine.QueueChild([](FakeMachine& m) {
    m.RemoveValue(kHostrelKey, "Transforms");
    return 0u;
  });
  EXPECT_EQ(RunSetup(machine), 0u);
  EXPECT_FALSE(machine.HasValue(kHostrelKey, "Transforms"));
  EXPECT_FALSE(machine.HasValue(kHostrelKey, "TransformsBackup"));
}

// The product's value comes back as stored, not as text: a zero inside and
// an odd last byte included.
TEST_F(TransformsRunTest, OwnValueComesBackByteForByte) {
  RegisterHostrel();
  std::vector<std::uint8_t> withZero = sim::Utf16Bytes(std::u16string(u"a.mst\0 1031.mst", 15));
  std::vector<std::uint8_t> oddEnd = sim::Utf16Bytes(u":1031.mst", false);
  oddEnd.push_back(0x7A);
  // Without its terminator: the registry would count in a zero unit that followed it.
  const std::vector<std::uint8_t> unterminated = sim::Utf16Bytes(u":1031.mst", false);
  for (const auto& stored : {withZero, oddEnd, unterminated}) {
    machine.SetRawValue(kHostrelKey, "Transforms", REG_EXPAND_SZ, stored);
    Values during;
    EXPECT_EQ(Run(&during), 0u);
    EXPECT_EQ(during.transforms.value_or("").rfind("C:\\PATCHF~1\\Files\\", 0), 0u);
    const auto after = machine.GetRawValue(kHostrelKey, "Transforms");
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->bytes, stored);
    EXPECT_EQ(after->type, REG_EXPAND_SZ);
    EXPECT_FALSE(machine.HasValue(kHostrelKey, "TransformsBackup"));
  }
}

// A TransformsBackup no launcher wrote: neither it nor Transforms is ours.
TEST_F(TransformsRunTest, BackupOfAnotherTypeIsLeftWithTransforms) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  machine.SetRawValue(kHostrelKey, "TransformsBackup", 4 /* REG_DWORD */, {7, 0, 0, 0});
  EXPECT_EQ(Run(nullptr, 3010), 3010u);
  EXPECT_TRUE(machine.RegistryChanges().empty());
  EXPECT_EQ(machine.ProcessStarts().size(), 1u) << "the patch runs all the same";
}

TEST_F(TransformsRunTest, InstallersOneIsNotTheServiceGuardsOne) {
  RegisterHostrel();
  EXPECT_EQ(Run(nullptr, 1), ERROR_INSTALL_FAILURE);
}

TEST_F(TransformsRunTest, ProductWithoutTransformsHasNoneAfterwards) {
  RegisterHostrel();
  Values during;
  EXPECT_EQ(Run(&during), 0u);
  EXPECT_EQ(during.transforms, "C:\\PATCHF~1\\Files\\1033.mst");
  EXPECT_EQ(during.backup, std::string("\0redirected:C:\\PATCHF~1\\Files\\1033.mst", 38))
      << "an empty text records that there was none, then the redirection";
  const Values after = Read(kHostrelKey);
  EXPECT_EQ(after.transforms, std::nullopt);
  EXPECT_EQ(after.backup, std::nullopt);
}

TEST_F(TransformsRunTest, LongValueIsBackedUpAndRestoredIntact) {
  RegisterHostrel();
  const std::string longValue = "C:\\" + std::string(600, 't') + "\\1040.mst;:extra.mst";
  machine.SetString(kHostrelKey, "Transforms", longValue);
  Values during;
  EXPECT_EQ(Run(&during), 0u);
  EXPECT_EQ(during.transforms, "C:\\PATCHF~1\\Files\\1040.mst");
  EXPECT_EQ(Read(kHostrelKey).transforms, longValue);
}

TEST_F(TransformsRunTest, OwnValueSurvivesInterruptedRuns) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1036.mst");
  InterruptedRun();
  InterruptedRun();
  Values during;
  EXPECT_EQ(Run(&during), 0u);
  EXPECT_EQ(during.backup, ":1036.mst") << "the journal must not take the redirected path";
  EXPECT_EQ(Read(kHostrelKey).transforms, ":1036.mst");
  EXPECT_EQ(Read(kHostrelKey).backup, std::nullopt);
}

TEST_F(TransformsRunTest, AbsenceSurvivesInterruptedRuns) {
  RegisterHostrel();
  InterruptedRun();
  EXPECT_EQ(Read(kHostrelKey).transforms, "C:\\PATCHF~1\\Files\\1033.mst");
  EXPECT_EQ(Run(nullptr), 0u);
  EXPECT_EQ(Read(kHostrelKey).transforms, std::nullopt);
  EXPECT_EQ(Read(kHostrelKey).backup, std::nullopt);
}

// A run first finishes what an earlier run left, so that its installer
// sees its own redirection; only what is provably a launcher's is undone:
// media laid out like a patch folder give a product its own
// "...\Files\1033.mst".
struct JournalCase {
  const char* name;
  std::optional<std::string> transforms;
  std::optional<std::string> journal;
  std::optional<std::string> after;
  const char* during;  // this run's redirection, in the patch folder
  const char* logged;  // a line the log holds; "" for none in particular
};

const std::string kRecord = std::string("\0redirected:C:\\OLD\\Files\\1033.mst", 33);
constexpr char kEnglish[] = "C:\\PATCHF~1\\Files\\1033.mst";

class JournalTest : public TransformsRunTest, public ::testing::WithParamInterface<JournalCase> {};

TEST_P(JournalTest, AnEarlierRunsJournalIsFinishedBeforeThisRunRedirects) {
  const JournalCase& c = GetParam();
  RegisterHostrel();
  if (c.transforms) machine.SetString(kHostrelKey, "Transforms", *c.transforms);
  if (c.journal) machine.SetString(kHostrelKey, "TransformsBackup", *c.journal);
  Values during;
  EXPECT_EQ(Run(&during), 0u);
  EXPECT_EQ(during.transforms, c.during);
  EXPECT_EQ(Read(kHostrelKey).transforms, c.after);
  EXPECT_EQ(Read(kHostrelKey).backup, std::nullopt);
  EXPECT_NE(testing::FirstRunLog(machine).find(c.logged), std::string::npos) << c.logged;
}

INSTANTIATE_TEST_SUITE_P(
    Table, JournalTest,
    ::testing::Values(
        JournalCase{"MediaWithoutJournal", "C:\\Media\\Files\\1033.mst", std::nullopt,
                    "C:\\Media\\Files\\1033.mst", kEnglish, ""},
        JournalCase{"UnprovenLeftover", "C:\\OLD\\Files\\1033.MST", std::nullopt,
                    "C:\\OLD\\Files\\1033.MST", kEnglish, ""},
        JournalCase{"RecordedLeftover", "C:\\OLD\\Files\\1033.mst", kRecord, std::nullopt, kEnglish,
                    "Restore: Transforms deleted (the product had none)"},
        // A record proves its own redirection only, to the letter.
        JournalCase{"RecordedButCaseDiffers", "C:\\OLD\\Files\\1033.MST", kRecord,
                    "C:\\OLD\\Files\\1033.MST", kEnglish, "was given to the product after"},
        JournalCase{"GivenSinceTheRecord", "C:\\Media\\Files\\1033.mst", kRecord,
                    "C:\\Media\\Files\\1033.mst", kEnglish, ""},
        JournalCase{"RecordedAndAbsent", std::nullopt, kRecord, std::nullopt, kEnglish, ""},
        JournalCase{"RecordedBesideAnEmptyValue", "", kRecord, std::nullopt, kEnglish, ""},
        // An older launcher's empty journal keeps its meaning: none at all.
        JournalCase{"OlderEmptyJournal", "C:\\Media\\Files\\1033.mst", "", std::nullopt, kEnglish,
                    ""},
        // One recording an empty value no launcher writes: the empty journal.
        JournalCase{"EmptyRecord", "C:\\Media\\Files\\1033.mst", std::string("\0redirected:", 12),
                    std::nullopt, kEnglish, ""},
        // A killed run from another folder (a deployment tool's cache).
        JournalCase{"OtherFoldersRedirection", "C:\\OLD\\Files\\1031.mst", ":1031.mst", ":1031.mst",
                    "C:\\PATCHF~1\\Files\\1031.mst",
                    "Recovery: TransformsBackup \":1031.mst\" was left by a run"},
        JournalCase{"OtherFoldersDefaultTransform", "C:\\OLD\\Files\\1033.mst", ":1041.mst",
                    ":1041.mst", "C:\\PATCHF~1\\Files\\1041.mst", ""},
        JournalCase{"PatchFolderRedirectionInAnyCase", "c:\\old\\FILES\\1036.MST", ":1036.mst",
                    ":1036.mst", "C:\\PATCHF~1\\Files\\1036.mst", ""},
        JournalCase{"RelativeFilesAndTransform", "Files\\1036.mst", ":1036.mst", ":1036.mst",
                    "C:\\PATCHF~1\\Files\\1036.mst", ""},
        JournalCase{"SameAsTheJournal", ":1031.mst", ":1031.mst", ":1031.mst",
                    "C:\\PATCHF~1\\Files\\1031.mst", ""},
        JournalCase{"GivenSinceTheTextJournal", ":1036.mst", ":1031.mst", ":1036.mst",
                    "C:\\PATCHF~1\\Files\\1036.mst",
                    "Recovery: Transforms \":1036.mst\" was given to the product after the "
                    "journal \":1031.mst\" was written: it stays"},
        JournalCase{"NoTransformOfTheTable", "C:\\OLD\\Files\\1099.mst", ":1031.mst",
                    "C:\\OLD\\Files\\1099.mst", kEnglish, ""},
        JournalCase{"FilesNotTheLastFolder", "C:\\Files\\x\\1031.mst", ":1036.mst",
                    "C:\\Files\\x\\1031.mst", "C:\\PATCHF~1\\Files\\1031.mst", ""},
        JournalCase{"FilesOnlyEndsTheFolder", "C:\\MyFiles\\1031.mst", ":1036.mst",
                    "C:\\MyFiles\\1031.mst", "C:\\PATCHF~1\\Files\\1031.mst", ""},
        JournalCase{"TransformOnlyStartsTheName", "C:\\OLD\\Files\\1031.mst.old", ":1036.mst",
                    "C:\\OLD\\Files\\1031.mst.old", "C:\\PATCHF~1\\Files\\1031.mst", ""}),
    [](const ::testing::TestParamInfo<JournalCase>& param) { return param.param.name; });

// Equal to the journal means the same type too: an expandable value
// beside a plain journal was given since, and stays.
TEST_F(TransformsRunTest, AValueEqualToTheJournalButForItsTypeStays) {
  RegisterHostrel();
  const std::vector<std::uint8_t> expandable = sim::Utf16Bytes(u":1031.mst");
  machine.SetRawValue(kHostrelKey, "Transforms", REG_EXPAND_SZ, expandable);
  machine.SetString(kHostrelKey, "TransformsBackup", ":1031.mst");
  EXPECT_EQ(Run(nullptr), 0u);
  const auto after = machine.GetRawValue(kHostrelKey, "Transforms");
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->type, REG_EXPAND_SZ);
  EXPECT_EQ(after->bytes, expandable);

  // Beside the empty journal, which records none, an empty expandable value
  // was given since too (the log tells: no run keeps an empty value).
  machine.SetRawValue(kHostrelKey, "Transforms", REG_EXPAND_SZ, sim::Utf16Bytes(u""));
  machine.SetString(kHostrelKey, "TransformsBackup", "");
  EXPECT_EQ(Run(nullptr), 0u);
  EXPECT_NE(testing::LastRunLog(machine).find(
                "Recovery: Transforms \"\" was given to the product after the journal \"\""),
            std::string::npos);
}

// An earlier run's journal that cannot be finished stops the run before
// anything changes or starts; the journal waits for the next run.
struct UnfinishedCase {
  const char* name;
  void (*fault)(FakeMachine&);
  Status exitStatus;
};

class UnfinishedJournalTest : public TransformsRunTest,
                              public ::testing::WithParamInterface<UnfinishedCase> {};

TEST_P(UnfinishedJournalTest, StopsTheRunBeforeTheInstaller) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", "C:\\OLD\\Files\\1031.mst");
  machine.SetString(kHostrelKey, "TransformsBackup", ":1031.mst");
  GetParam().fault(machine);
  EXPECT_EQ(Run(nullptr), GetParam().exitStatus);
  EXPECT_TRUE(machine.ProcessStarts().empty());
  EXPECT_EQ(Read(kHostrelKey).backup, ":1031.mst");
  EXPECT_NE(testing::FirstRunLog(machine).find("the installer is not started"), std::string::npos);
  EXPECT_NE(
      testing::FirstRunLog(machine).find("Summary: exit=" + std::to_string(GetParam().exitStatus)),
      std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnfinishedJournalTest,
    ::testing::Values(
        UnfinishedCase{"KeyReadOnly", [](FakeMachine& m) { m.DenyWrite(kHostrelKey); },
                       ERROR_ACCESS_DENIED},
        UnfinishedCase{"WriteBackFails",
                       [](FakeMachine& m) { m.FailCall(Operation::RegSetValueExW, 5); },
                       ERROR_ACCESS_DENIED},
        UnfinishedCase{"JournalNotDeleted",
                       [](FakeMachine& m) { m.FailCall(Operation::RegDeleteValueW, 2); },
                       ERROR_FILE_NOT_FOUND},
        // The size query succeeds, the full read does not.
        UnfinishedCase{"JournalUnreadable",
                       [](FakeMachine& m) { m.FailCall(Operation::RegQueryValueExW, 5, 2); },
                       ERROR_ACCESS_DENIED}),
    [](const ::testing::TestParamInfo<UnfinishedCase>& param) { return param.param.name; });

// A product registered while the installer ran was not redirected: its own
// value stays, whatever it names.
TEST_F(TransformsRunTest, ProductRegisteredDuringThePatchKeepsItsOwnValue) {
  AddPatchFile("Hostrel_Update.msp");
  machine.QueueChild([](FakeMachine& m) {
    m.AddKey(kHostrelKey);
    m.SetString(kHostrelKey, "Transforms", "C:\\Media\\Files\\1033.mst");
    return 0u;
  });
  EXPECT_EQ(RunSetup(machine), 0u);
  EXPECT_EQ(Read(kHostrelKey).transforms, "C:\\Media\\Files\\1033.mst");
  EXPECT_EQ(testing::FirstRunLog(machine).find("Restore:"), std::string::npos)
      << "no journal of this run's to finish";
}

// A run that relied on a recorded journal from the same folder writes the
// same redirection, and its restore removes it.
TEST_F(TransformsRunTest, RecordedJournalIsFinishedByTheNextRun) {
  RegisterHostrel();
  InterruptedRun();
  Values during;
  EXPECT_EQ(Run(&during), 0u);
  EXPECT_EQ(during.transforms, "C:\\PATCHF~1\\Files\\1033.mst");
  EXPECT_EQ(Read(kHostrelKey).transforms, std::nullopt);
  EXPECT_EQ(Read(kHostrelKey).backup, std::nullopt);
}

TEST_F(TransformsRunTest, ExpandableOwnValueComesBackExpandable) {
  RegisterHostrel();
  const std::string own = "%ProgramData%\\Quarrix\\1031.mst";
  const std::vector<std::uint8_t> bytes = sim::Utf16Bytes(machine.DecodeAnsi(own));
  machine.SetRawValue(kHostrelKey, "Transforms", REG_EXPAND_SZ, bytes);
  Values during;
  EXPECT_EQ(Run(&during), 0u);
  EXPECT_EQ(during.backup, own);
  const auto restored = machine.GetRawValue(kHostrelKey, "Transforms");
  ASSERT_TRUE(restored.has_value());
  EXPECT_EQ(restored->type, REG_EXPAND_SZ) << "the type survives the backup";
  EXPECT_EQ(restored->bytes, bytes);
}

// Faults found by making each platform call fail in turn.
TEST_F(TransformsRunTest, OwnDefaultTransformSurvivesAFailedBackup) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1033.mst");
  machine.FailCall(Operation::RegSetValueExW, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(nullptr), 0u);
  EXPECT_EQ(Read(kHostrelKey).transforms, ":1033.mst");
}

TEST_F(TransformsRunTest, RestoreFollowsTheBackedUpProductWhenIdentificationChanges) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  machine.QueueChild([](FakeMachine& m) {
    // A search for the patch file now would fail and find no product.
    m.FailCall(Operation::FindFirstFileW, ERROR_ACCESS_DENIED);
    return 0u;
  });
  EXPECT_EQ(RunSetup(machine), 0u);
  EXPECT_EQ(Read(kHostrelKey).transforms, ":1031.mst");
  EXPECT_EQ(Read(kHostrelKey).backup, std::nullopt);
}

TEST_F(TransformsRunTest, OwnJournalThatCannotBeReadIsKeptAndReported) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1036.mst");
  InterruptedRun();
  machine.FailCall(Operation::RegQueryValueExW, ERROR_ACCESS_DENIED);
  EXPECT_EQ(RestoreTransforms(machine, run, redirection), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Read(kHostrelKey).backup, ":1036.mst");
}

TEST_F(TransformsRunTest, BackupGoneDuringTheRunIsReported) {
  RegisterHostrel();
  machine.QueueChild([](FakeMachine& m) {
    m.RemoveValue(kHostrelKey, "TransformsBackup");
    return 0u;
  });
  EXPECT_EQ(RunSetup(machine), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Read(kHostrelKey).transforms, std::nullopt) << "the default redirection goes";
}

// A value of another type in the journal's place is no journal: it and
// Transforms stay, and the run does not end as if the own value were back.
TEST_F(TransformsRunTest, BackupReplacedByAnotherTypeDuringTheRunIsReported) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  machine.QueueChild([](FakeMachine& m) {
    m.SetRawValue(kHostrelKey, "TransformsBackup", 4 /* REG_DWORD */, {7, 0, 0, 0});
    return 0u;
  });
  EXPECT_EQ(RunSetup(machine), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Read(kHostrelKey).transforms, "C:\\PATCHF~1\\Files\\1031.mst");
  EXPECT_TRUE(machine.HasValue(kHostrelKey, "TransformsBackup"));
}

// Transforms that no longer reads as the value just backed up is not
// written: the restore deletes only the journal, and says it left Transforms.
// Nothing is lost should the journal go while the installer runs.
TEST_F(TransformsRunTest, OwnValueThatChangedAfterTheBackupIsLeftAlone) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  for (const bool journalRemoved : {false, true}) {
    machine.FailCall(Operation::RegQueryValueExW, ERROR_ACCESS_DENIED, 5);  // the check's read
    machine.QueueChild([journalRemoved](FakeMachine& m) {
      if (journalRemoved) m.RemoveValue(kHostrelKey, "TransformsBackup");
      return 3010u;
    });
    EXPECT_EQ(RunSetup(machine), 3010u) << journalRemoved;
    const std::string log = testing::LastRunLog(machine);
    EXPECT_NE(log.find("Transforms no longer reads as the value backed up"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("Restore: Transforms was left alone") != std::string::npos, !journalRemoved)
        << log;
    EXPECT_EQ(Read(kHostrelKey).transforms, ":1031.mst");
    EXPECT_EQ(Read(kHostrelKey).backup, std::nullopt);
  }
}

TEST_F(TransformsRunTest, BackupGoneIsNoLossWhenTransformsWasLeftAlone) {
  const std::string deep = StartInFolderTooDeepForAPath();  // no redirection
  machine.AddFolder(deep + "\\Files");
  machine.AddFile(deep + "\\Files\\Hostrel_Update.msp");
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  machine.QueueChild([](FakeMachine& m) {
    m.RemoveValue(kHostrelKey, "TransformsBackup");
    return 0u;
  });
  EXPECT_EQ(RunSetup(machine), 0u);
  EXPECT_EQ(Read(kHostrelKey).transforms, ":1031.mst");
}

TEST_F(TransformsRunTest, BackupThatCannotBeDeletedIsReported) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  InterruptedRun();
  machine.FailCall(Operation::RegDeleteValueW, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RestoreTransforms(machine, run, redirection), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Read(kHostrelKey).transforms, ":1031.mst");
  EXPECT_EQ(RestoreTransforms(machine, run, redirection), 0u)
      << "the next restore finishes the job";
  EXPECT_EQ(Read(kHostrelKey).backup, std::nullopt);
}

// Nothing could be changed, so nothing hides the installer's verdict.
TEST_F(TransformsRunTest, ReadableButNotWritableKeyIsLeftAloneAndReported) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  machine.DenyWrite(kHostrelKey);
  EXPECT_EQ(Run(nullptr, 1603), 1603u);
  EXPECT_TRUE(machine.RegistryChanges().empty());
  EXPECT_EQ(machine.ProcessStarts().size(), 1u) << "the patch runs all the same";
}

TEST_F(TransformsRunTest, KeywordOnlyProductWithoutRegistrationKeepsTheInstallersStatus) {
  AddPatchFile("Brisant_Update.msp");
  EXPECT_EQ(Run(nullptr), 0u) << "a per-user product patched correctly";
  EXPECT_EQ(Run(nullptr, 1605), 1605u) << "a product not installed at all";
  EXPECT_FALSE(machine.HasKey(kBrisantKey));
  EXPECT_TRUE(machine.RegistryChanges().empty());
}

TEST_F(TransformsRunTest, NoProductLeavesTheInstallersStatus) {
  AddPatchFile("Unknown_Update.msp");
  EXPECT_EQ(Run(nullptr, 3010), 3010u);
  EXPECT_TRUE(machine.RegistryChanges().empty());
}

TEST_F(TransformsRunTest, FailedRestoreIsReportedOverTheInstallersSuccess) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  machine.QueueChild([](FakeMachine& m) {
    m.DenyWrite(kHostrelKey);  // the installer left the key locked
    return 0u;
  });
  EXPECT_EQ(RunSetup(machine), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Read(kHostrelKey).backup, ":1031.mst") << "the journal waits for the next run";
}

TEST_F(TransformsRunTest, FailedWriteBackKeepsTheJournal) {
  RegisterHostrel();
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  InterruptedRun();
  machine.FailCall(Operation::RegSetValueExW, ERROR_ACCESS_DENIED);
  EXPECT_EQ(RestoreTransforms(machine, run, redirection), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Read(kHostrelKey).backup, ":1031.mst");
  EXPECT_EQ(RestoreTransforms(machine, run, redirection), 0u);
  EXPECT_EQ(Read(kHostrelKey).transforms, ":1031.mst");
}

TEST_F(TransformsRunTest, UnreadableOwnValueIsNeverReplaced) {
  RegisterHostrel();
  machine.SetRawValue(kHostrelKey, "Transforms", 3 /* REG_BINARY */, {1, 2, 3});
  EXPECT_EQ(Run(nullptr), 0u);
  EXPECT_TRUE(machine.RegistryChanges().empty());
}

TEST_F(TransformsRunTest, RedirectedValueThatDoesNotFitIsNotWritten) {
  // A 246-byte narrow folder leaves room for the patch search path
  // ("\Files\\*.msp") but not for "\Files\1031.mst".
  const std::string deep = "C:\\" + std::string(243, 'p');
  machine.AddFolder(deep);
  machine.AddFolder(deep + "\\Files");
  machine.AddFile(deep + "\\Files\\Hostrel_Update.msp");
  machine.SetCurrentDirectory(deep);
  machine.SetShortNamesAvailable(false);
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  Values during;
  EXPECT_EQ(Run(&during), 0u);
  EXPECT_EQ(during.transforms, ":1031.mst");
  EXPECT_EQ(Read(kHostrelKey).transforms, ":1031.mst");
  EXPECT_EQ(Read(kHostrelKey).backup, std::nullopt);
}

// The installer splits Transforms, and "msiexec /p" its patch list, at
// ';'. A short path holds none; a volume without 8.3 names gives the long
// path, and then the run is refused before anything is read or changed.
struct SemicolonCase {
  const char* shortName;  // of C:\Patch;Files; empty: no 8.3 names
  Status exitStatus;
  std::optional<std::string> during;
  std::optional<std::string> backupDuring;
  const char* logged;
};

class SemicolonFolderTest : public TransformsRunTest,
                            public ::testing::WithParamInterface<SemicolonCase> {};

TEST_P(SemicolonFolderTest, NeitherTransformsNorThePatchListNamesAPathHoldingTheSeparator) {
  const SemicolonCase& c = GetParam();
  machine.AddFolder("C:\\Patch;Files", c.shortName);
  machine.AddFolder("C:\\Patch;Files\\Files");
  machine.AddFile("C:\\Patch;Files\\Files\\Hostrel_Update.msp");
  machine.SetCurrentDirectory("C:\\Patch;Files");
  machine.SetShortNamesAvailable(c.shortName[0] != '\0');
  machine.SetString(kHostrelKey, "Transforms", ":1031.mst");
  Values during;
  EXPECT_EQ(Run(&during, 1603), c.exitStatus);
  EXPECT_EQ(during.transforms, c.during);
  EXPECT_EQ(during.backup, c.backupDuring);
  EXPECT_EQ(Read(kHostrelKey).transforms, ":1031.mst");
  EXPECT_EQ(Read(kHostrelKey).backup, std::nullopt);
  EXPECT_NE(testing::FirstRunLog(machine).find(c.logged), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SemicolonFolderTest,
    ::testing::Values(SemicolonCase{"", ERROR_INVALID_COMMAND_LINE, std::nullopt, std::nullopt,
                                    "holds a quote, a ';'"},
                      SemicolonCase{"PATCH~1", 1603, "C:\\PATCH~1\\Files\\1031.mst", ":1031.mst",
                                    "Redirection: Transforms set to"}));

TEST_F(TransformsRunTest, EmptySourceFolderIsReportedAndThePatchStillRuns) {
  StartInFolderTooDeepForAPath();
  EXPECT_EQ(Run(nullptr, 1603), 1603u);
  ASSERT_EQ(machine.MessageBoxes().size(), 1u);
  EXPECT_EQ(machine.MessageBoxes()[0].text, u"Fatal Error, no source directory.");
  EXPECT_EQ(machine.MessageBoxes()[0].caption, u"Error:");
  EXPECT_EQ(machine.MessageBoxes()[0].style, MB_OK);
  EXPECT_EQ(machine.MessageBoxes()[0].owner, NO_OWNER_WINDOW);
  EXPECT_EQ(machine.ProcessStarts().size(), 1u);
}

}  // namespace
}  // namespace setup
