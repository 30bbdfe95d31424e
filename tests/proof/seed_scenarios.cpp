#include "proof/seed_scenarios.h"

#include "sim/utf16_bytes.h"

namespace setup::proof {

namespace {

constexpr int kTesselRow = 0;
constexpr int kHostrelRow = 2;
constexpr int kLoomworkRow = 4;
constexpr int kBrisantRow = 6;
constexpr int kLoomworkLanguagePackRow = 7;

StoredValue Text(const std::u16string& text, std::uint32_t type = REG_SZ) {
  StoredValue value;
  value.type = type;
  value.bytes = sim::Utf16Bytes(text);
  return value;
}

StoredValue Unterminated(const std::u16string& text) {
  StoredValue value;
  value.bytes = sim::Utf16Bytes(text, false);
  return value;
}

Scenario Typical() {
  Scenario scenario;
  scenario.commandLine = u"\"C:\\Patch Files\\Setup.exe\" /qb";
  scenario.packageFiles = {{u"Hostrel_Update.msp", u"HOSTRE~1.MSP"}};
  scenario.products = {{kHostrelRow, KeyAccess::Full, Text(u":1031.mst"), std::nullopt},
                       {kTesselRow, KeyAccess::Full, Text(u":1040.mst"), std::nullopt}};
  for (const char* name : kGuardedServices) scenario.services.emplace_back(name, SERVICE_STOPPED);
  scenario.systemLanguage = 0x0407;
  scenario.iniValues = {{"0x0407.ini", u"0x0407", u"DESCRIPTION", u"Deutsch"}};
  return scenario;
}

Scenario LanguagePack() {
  Scenario scenario;
  scenario.packageFiles = {{u"Loomwork_LP.msp", u""}};
  scenario.databaseFile = FileName{u"Loomwork LP.msi", u"LOOMWO~1.MSI"};
  scenario.databaseEntry = 0;  // LanguagePackInstaller = 1
  scenario.products = {{kLoomworkLanguagePackRow, KeyAccess::Full, std::nullopt, std::nullopt},
                       {kLoomworkRow, KeyAccess::Full, Text(u":1041.mst"), std::nullopt}};
  return scenario;
}

Scenario WithProduct(Scenario scenario, ProductKey product) {
  scenario.products = {product};
  return scenario;
}

}  // namespace

std::vector<SeedScenario> SeedScenarios() {
  std::vector<SeedScenario> seeds;
  const auto add = [&](const char* name, Scenario scenario, Status status, bool swept = false) {
    seeds.push_back({name, std::move(scenario), status, swept});
  };
  add("Typical", Typical(), ERROR_SUCCESS, true);
  add("LanguagePack", LanguagePack(), ERROR_SUCCESS, true);
  add("AfterAnInterruptedRun",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, Text(u"C:\\OLD\\Files\\1036.mst"),
                              Text(u":1036.mst")}),
      ERROR_SUCCESS, true);
  Scenario english = WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, Text(u":1033.mst"), {}});
  english.iniValues.clear();
  add("EnglishOwnValue", english, ERROR_SUCCESS, true);
  add("ReadOnlyRegistration",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::ReadOnly, Text(u":1031.mst"), {}}),
      ERROR_SUCCESS, true);  // nothing could be changed, so the installer's status stands
  Scenario blocked = Typical();
  blocked.services[1].second = SERVICE_RUNNING;
  add("BlockedByService", blocked, 1, true);
  Scenario firstBlocks = Typical();
  firstBlocks.services[0].second = SERVICE_PAUSED;
  add("BlockedByTheFirstService", firstBlocks, 1);
  Scenario serviceSession = blocked;
  serviceSession.commandLine = u"Setup.exe";
  serviceSession.serviceSession = true;
  add("BlockedInServiceSession", serviceSession, 1, true);
  Scenario blockedLineBreak = blocked;
  blockedLineBreak.commandLine += u" X=a\nY=b";
  add("BlockedWithALineBreakInTheTail", blockedLineBreak, 1);  // the service's 1 comes first

  add("DeniedRegistration",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Denied, Text(u":1031.mst"), {}}),
      ERROR_SUCCESS);  // taken for the keyword row, which is not installed: nothing changed
  Scenario brisant = Typical();
  brisant.packageFiles = {{u"Brisant_Update.msp", u""}};
  add("KeywordProductNotInstalled", brisant, ERROR_SUCCESS);
  add(
      "KeywordProductInstalled",
      [&] {
        Scenario scenario = brisant;
        scenario.products = {{kBrisantRow, KeyAccess::Full, Text(u":1036.mst"), {}}};
        return scenario;
      }(),
      ERROR_SUCCESS);
  add("LongOwnValue",
      WithProduct(
          Typical(),
          {kHostrelRow, KeyAccess::Full, Text(u":" + std::u16string(400, u'x') + u".mst"), {}}),
      ERROR_SUCCESS);
  add("UnterminatedOwnValue",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, Unterminated(u":1031.mst"), {}}),
      ERROR_SUCCESS);
  add("OwnValueOutsideCodePage",
      WithProduct(
          Typical(),
          {kHostrelRow, KeyAccess::Full, Text(u"C:\\\u0141\u00f3d\u017a Files\\1031.mst"), {}}),
      ERROR_SUCCESS);  // code page 1252 spells neither the L with stroke nor the z with acute
  add("ExpandableOwnValue",
      WithProduct(Typical(),
                  {kHostrelRow, KeyAccess::Full, Text(u"%TEMP%\\1031.mst", REG_EXPAND_SZ), {}}),
      ERROR_SUCCESS);
  // Two transforms named: the language table's first row among them is
  // the product's language, whatever their order in the value.
  add("OwnValueNamingTwoLanguages",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, Text(u":1036.mst;:1031.mst"), {}}),
      ERROR_SUCCESS);
  add("BinaryOwnValue",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, StoredValue{3, {1, 2, 3}}, {}}),
      ERROR_SUCCESS);
  // An odd byte count leaves half a unit at the end, which no reader takes
  // for text: the own value's text comes back without it.
  StoredValue halfUnit = Text(u":1031.mst");
  halfUnit.bytes.push_back('x');
  add("OwnValueEndingInHalfAUnit",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, halfUnit, {}}), ERROR_SUCCESS);
  Scenario quoted = Typical();
  quoted.folder = u"C:\\Patch & Files";
  quoted.folderShortName = u"";
  quoted.shortNamesAvailable = false;
  quoted.packageFiles = {{u"Hostrel Update&1.msp", u""}};
  add("NamesToQuote", quoted, ERROR_SUCCESS);
  // A ';' in the patch path is refused before anything is read or changed,
  // the earlier run's journal included.
  Scenario journalBesideSemicolon = WithProduct(
      Typical(),
      {kHostrelRow, KeyAccess::ReadOnly, Text(u"C:\\OLD\\Files\\1036.mst"), Text(u":1036.mst")});
  journalBesideSemicolon.folder = u"C:\\Patch;Files";
  journalBesideSemicolon.shortNamesAvailable = false;
  add("UnfinishedJournalBesideASemicolon", journalBesideSemicolon, ERROR_INVALID_COMMAND_LINE);
  // An earlier run's journal is finished first: a value given since stays,
  // and one that cannot be finished stops the run before the installer.
  add("TextJournalBesideAValueGivenSince",
      WithProduct(Typical(),
                  {kHostrelRow, KeyAccess::Full, Text(u":1036.mst"), Text(u":1031.mst")}),
      ERROR_SUCCESS);
  add("JournalInARegistrationThatRefusesWriting",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::ReadOnly, Text(u"C:\\OLD\\Files\\1036.mst"),
                              Text(u":1036.mst")}),
      ERROR_ACCESS_DENIED);
  // A journal recording the redirection it made for a product without
  // Transforms: that redirection goes, a value given to the product since
  // stays.
  const std::u16string recorded = std::u16string(1, u'\0') + u"redirected:C:\\OLD\\Files\\1033.mst";
  add("RecordedRedirectionLeftBehind",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, Text(u"C:\\OLD\\Files\\1033.mst"),
                              Text(recorded)}),
      ERROR_SUCCESS, true);
  add("OwnValueGivenAfterARecordedRedirection",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, Text(u"C:\\Media\\Files\\1033.mst"),
                              Text(recorded)}),
      ERROR_SUCCESS);
  // A value of another type beside a recording journal is no redirection
  // of the launcher's, which writes text (fuzzer finding).
  StoredValue binary = Text(u"C:\\OLD\\Files\\1033.mst", 58625);
  Scenario otherType =
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, binary, Text(recorded)});
  otherType.systemDirectory = u"C:\\" + std::u16string(600, u'w');
  add("RecordedJournalBesideAValueOfAnotherType", otherType, ERROR_PATH_NOT_FOUND);
  // The journal goes, the value of another type stays for the launcher, and
  // the installer rewrites it: the installer's write is not the launcher's
  // (fuzzer finding).
  Scenario rewrittenOtherType =
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, binary,
                              Text(std::u16string(1, u'\0') + u"redi\u0135rected:")});
  rewrittenOtherType.child.action = ChildAction::RewriteTransforms;
  rewrittenOtherType.child.rewrittenValue = u"C:\\Cache\\1031.mst";
  add("InstallerRewritesAValueOfAnotherType", rewrittenOtherType, ERROR_SUCCESS);
  add("OwnDefaultTransformOfMediaLaidOutLikeAPatchFolder",
      WithProduct(Typical(), {kHostrelRow, KeyAccess::ReadOnly, Text(u"C:\\Media\\Files\\1033.mst"),
                              std::nullopt}),
      ERROR_SUCCESS);
  Scenario root = Typical();
  root.folder = u"C:\\";
  root.folderShortName = u"";
  add("DriveRoot", root, ERROR_SUCCESS);
  Scenario noFolder = Typical();
  noFolder.folder.reset();
  add("NoCurrentDirectory", noFolder, ERROR_SUCCESS);
  Scenario japanese = Typical();
  japanese.systemCodePage = 932;
  japanese.threadCodePage = 932;
  japanese.systemLanguage = 0x0411;
  japanese.folder = u"C:\\\u30d1\u30c3\u30c1";  // katakana
  japanese.folderShortName = u"";
  japanese.iniValues = {{"0x0411.ini", u"0x0411", u"DESCRIPTION", u"\u65e5\u672c\u8a9e"}};
  japanese.products = {{kHostrelRow, KeyAccess::Full, std::nullopt, std::nullopt}};
  add("JapaneseFolder", japanese, ERROR_SUCCESS);
  Scenario longTail = Typical();
  longTail.commandLine = u"Setup.exe " + std::u16string(1200, u'p');
  add("TailTooLong", longTail, ERROR_INSUFFICIENT_BUFFER);
  Scenario startFails = Typical();
  startFails.child.startError = ERROR_ACCESS_DENIED;
  add("InstallerCannotStart", startFails, ERROR_ACCESS_DENIED);
  Scenario failing = Typical();
  failing.child.exitCode = 1603;
  failing.child.action = ChildAction::RewriteTransforms;
  failing.child.rewrittenValue = u"C:\\Cache\\1031.mst";
  add("InstallerRewritesAndFails", failing, 1603);
  // STILL_ACTIVE: a tool polling the launcher's exit status would wait for ever.
  Scenario stillActive = Typical();
  stillActive.child.exitCode = 259;
  add("InstallerEndsWithStillActive", stillActive, 1603);
  // The journal records the redirection, but the installer rewrote it: the
  // product had none, and none it has again.
  Scenario rewrittenRecord =
      WithProduct(Typical(), {kHostrelRow, KeyAccess::Full, std::nullopt, std::nullopt});
  rewrittenRecord.child.action = ChildAction::RewriteTransforms;
  rewrittenRecord.child.rewrittenValue = u"C:\\Cache\\1031.mst";
  // Not swept: where a fault or a kill keeps the launcher from undoing its
  // own redirection, the value the installer wrote is not provably the
  // launcher's and stays, while the checker judges against the product as
  // it was before the run.
  add("InstallerRewritesTheRecordedRedirection", rewrittenRecord, ERROR_SUCCESS);
  Scenario deleting = Typical();
  deleting.child.exitCode = 3010;
  deleting.child.action = ChildAction::DeleteTransforms;
  add("InstallerDeletesAndAsksForRestart", deleting, 3010);
  Scenario second = Typical();
  second.otherLauncherRunning = true;
  add("AnotherLauncherRuns", second, ERROR_INSTALL_ALREADY_RUNNING);
  Scenario quiet = blocked;
  quiet.commandLine = u"Setup.exe /qn";
  quiet.windowStationVisible = false;
  add("QuietBlockedRun", quiet, 1);
  return seeds;
}

void PrintTo(const SeedScenario& seed, std::ostream* out) { *out << seed.name; }

}  // namespace setup::proof
