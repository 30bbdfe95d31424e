#include "fleet/fleet_machine.h"

#include <algorithm>

#include "detection/language_table.h"
#include "detection/product_identification.h"
#include "fleet/simulated_installer.h"
#include "proof/scenario.h"
#include "sim/ascii_case.h"
#include "sim/utf16_bytes.h"

namespace setup::fleet {
namespace {

constexpr int kHostrelRow = 2;
constexpr int kTesselRow = 0;
constexpr char16_t kOtherProductTransforms[] = u":1040.mst";
constexpr char16_t kProductName[] = u"Quarrix Hostrel";
// {3F8A1C52-7B4E-4D21-9C6A-0E5B2D7F1A93}, packed as docs/deploying.md shows.
constexpr char kPackedPatch[] = "25C1A8F3E4B712D4C9A6E0B5D2F7A139";
constexpr char kPatchesOfSystem[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\";
constexpr char kUserData[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";
constexpr char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
// MsiGetPatchInfoEx's "State": 1 applied, 2 superseded, 4 obsolete.
constexpr std::uint8_t kPatchApplied = 1;
constexpr std::uint8_t kPatchSuperseded = 2;
constexpr char16_t kWindows[] = u"C:\\windows";
constexpr char16_t kOwnTransformFolder[] = u"C:\\Program Files\\Quarrix\\Transforms\\";
// A cache folder of an earlier deployment, cleaned since.
constexpr char16_t kOldCacheFolder[] = u"C:\\windows\\ccmcache\\old\\Files\\";

// Registrations in the shares a fleet shows, out of 100.
Registration DrawRegistration(Draw& draw) {
  constexpr std::pair<int, Registration> kShares[] = {
      {52, Registration::OwnEmbedded},          {10, Registration::OwnPath},
      {8, Registration::NoTransforms},          {6, Registration::JournalOldFolder},
      {3, Registration::JournalEmptyOldFolder}, {3, Registration::JournalGivenSince},
      {3, Registration::JournalNoTransforms},   {7, Registration::PerUserOnly},
      {8, Registration::NotInstalled}};
  int pick = draw.Below(100);
  for (const auto& [share, registration] : kShares) {
    if (pick < share) return registration;
    pick -= share;
  }
  return Registration::OwnEmbedded;
}

std::u16string EmbeddedTransform(int languageRow) {
  return std::u16string(u":") + LanguageTable[languageRow].transformFile;
}

std::string ProductKey() { return proof::ProductKeyOf(kHostrelRow); }

std::string PatchKey() {
  return kPatchesOfSystem + sim::AsciiText(ProductTable[kHostrelRow].packedCode) + "\\Patches\\" +
         kPackedPatch;
}

std::string PerUserProductKey() {
  return std::string(kUserData) + kUserSid + "\\Products\\" +
         sim::AsciiText(ProductTable[kHostrelRow].packedCode);
}

// The patch's State as the installer recorded it for the machine; 0 when none.
std::uint8_t PatchState(const sim::FakeMachine& machine) {
  const std::optional<sim::RegistryValue> state = machine.GetLocalMachineValue(PatchKey(), "State");
  if (!state || state->type != REG_DWORD || state->bytes.size() != 4 || state->bytes[1] != 0 ||
      state->bytes[2] != 0 || state->bytes[3] != 0) {
    return 0;
  }
  return state->bytes[0];
}

// The patched product's registration as `profile` describes it.
void RegisterProduct(const MachineProfile& profile, sim::FakeMachine& machine) {
  if (profile.registration != Registration::PerUserOnly &&
      profile.registration != Registration::NotInstalled) {
    machine.SetString(ProductKey(), "ProductName",
                      kProductName);  // one of the values no run touches
  }
  const std::u16string own = EmbeddedTransform(profile.languageRow);
  const std::u16string file = LanguageTable[profile.languageRow].transformFile;
  const std::u16string redirected = kOldCacheFolder + file;
  switch (profile.registration) {
    case Registration::OwnEmbedded:
      machine.SetString(ProductKey(), "Transforms", own);
      break;
    case Registration::OwnPath:
      machine.AddFile(kOwnTransformFolder + file);
      machine.SetString(ProductKey(), "Transforms", kOwnTransformFolder + file);
      break;
    case Registration::NoTransforms:
      machine.AddKey(ProductKey());
      break;
    case Registration::JournalOldFolder:
      machine.SetString(ProductKey(), "Transforms", redirected);
      machine.SetString(ProductKey(), "TransformsBackup", own);
      break;
    case Registration::JournalEmptyOldFolder:
      machine.SetString(ProductKey(), "Transforms", redirected);
      machine.SetString(ProductKey(), "TransformsBackup", u"");
      break;
    case Registration::JournalGivenSince:
      machine.SetString(ProductKey(), "Transforms", own);
      machine.SetString(ProductKey(), "TransformsBackup",
                        EmbeddedTransform((profile.languageRow + 1) % LanguageTableCount));
      break;
    case Registration::JournalNoTransforms:
      machine.SetString(ProductKey(), "TransformsBackup", own);
      break;
    case Registration::PerUserOnly:
      machine.SetLocalMachineValue(PerUserProductKey() + "\\InstallProperties",
                                   "DisplayName", REG_SZ, sim::Utf16Bytes(kProductName));
      break;
    case Registration::NotInstalled:
      break;
  }
}

}  // namespace

const char* RegistrationName(Registration registration) {
  switch (registration) {
    case Registration::OwnEmbedded:
      return "own Transforms, embedded";
    case Registration::OwnPath:
      return "own Transforms, a file";
    case Registration::NoTransforms:
      return "no Transforms";
    case Registration::JournalOldFolder:
      return "journal, redirected to a cleaned folder";
    case Registration::JournalEmptyOldFolder:
      return "empty journal, redirected to a cleaned folder";
    case Registration::JournalGivenSince:
      return "journal, Transforms given since";
    case Registration::JournalNoTransforms:
      return "journal, Transforms deleted since";
    case Registration::PerUserOnly:
      return "installed per user only";
    case Registration::NotInstalled:
      return "not installed";
  }
  return "?";
}

MachineProfile DrawProfile(std::uint64_t seed) {
  Draw draw(seed);
  MachineProfile profile;
  profile.seed = seed;
  profile.registration = DrawRegistration(draw);
  profile.languageRow = draw.Below(LanguageTableCount);
  profile.otherProduct = draw.Percent(30);
  profile.serviceRunning = draw.Percent(2);
  // Another installation for one to three cycles on some machines; one that
  // never ends on a few.
  profile.installationBusyCycles = draw.Percent(8) ? 1 + draw.Below(3) : draw.Percent(1) ? 1000 : 0;
  const int installer = draw.Below(100);
  profile.installer = installer < 3   ? InstallerBehaviour::Fails
                      : installer < 7 ? InstallerBehaviour::AsksRestart
                      : installer < 9 ? InstallerBehaviour::KilledOnFirstRun
                                      : InstallerBehaviour::Applies;
  profile.tempFolderGone = draw.Percent(3);
  profile.hasTempPath2 = draw.Percent(60);
  // Drawn last, so the other draws stay those of earlier fleets.
  const bool ownRegistration = profile.registration == Registration::OwnEmbedded ||
                               profile.registration == Registration::OwnPath ||
                               profile.registration == Registration::NoTransforms;
  profile.supersededBefore = draw.Percent(3) && ownRegistration;
  return profile;
}

int PatchedProductRow() { return kHostrelRow; }

void SetUpMachine(const MachineProfile& profile, sim::FakeMachine& machine) {
  // As a deployment tool's client starts it: SYSTEM, in session 0.
  machine.SetSessionId(0);
  machine.SetWindowStationVisible(false);
  machine.SetEnvironmentVariable(u"SystemRoot", kWindows);
  machine.SetSystemLanguage(LanguageTable[profile.languageRow].languageId);
  const std::u16string systemTemp = std::u16string(kWindows) + u"\\SystemTemp\\";
  if (profile.hasTempPath2) {
    machine.SetTempPath2(systemTemp);
    if (!profile.tempFolderGone) machine.AddFolder(systemTemp);
  } else {
    machine.SetTempPath(profile.tempFolderGone ? u"C:\\missing\\temp\\"
                                               : std::u16string(kWindows) + u"\\Temp\\");
  }
  for (const char* name : proof::kGuardedServices) {
    machine.InstallService(name, SERVICE_STOPPED);
  }
  if (profile.serviceRunning) machine.SetServiceState(proof::kGuardedServices[1], SERVICE_RUNNING);

  if (profile.otherProduct) {
    machine.SetRawValue(proof::ProductKeyOf(kTesselRow), "Transforms", REG_SZ,
                        sim::Utf16Bytes(kOtherProductTransforms));
  }
  RegisterProduct(profile, machine);
  if (profile.supersededBefore) {
    machine.SetLocalMachineValue(PatchKey(), "State", REG_DWORD, {kPatchSuperseded, 0, 0, 0});
  }
  machine.SetDefaultChild(SimulatedInstaller(profile.installer, PatchKey()));
}

void StageRun(const std::u16string& folder, sim::FakeMachine& machine) {
  machine.AddFolder(folder);
  machine.AddFile(folder + u"\\Setup.exe");
  machine.AddFile(folder + u"\\Files\\Hostrel_Update.msp");
  for (const LanguageEntry& language : LanguageTable) {
    machine.AddFile(folder + u"\\Files\\" + language.transformFile);
    machine.SetIniValue(folder + u"\\" + language.iniName + u".ini", language.iniName,
                        u"DESCRIPTION", machine.DecodeAnsi(language.displayName));
  }
  machine.SetCurrentDirectory(folder);
  machine.SetModulePath(folder + u"\\Setup.exe");
  machine.SetCommandLine(u"\"" + folder +
                         u"\\Setup.exe\" /qn REBOOT=ReallySuppress /l*v+ "
                         u"\"%SystemRoot%\\Logs\\QuarrixPatch_msi.log\"");
}

std::optional<std::u16string> OwnTransforms(const MachineProfile& profile) {
  switch (profile.registration) {
    case Registration::OwnEmbedded:
    case Registration::JournalOldFolder:
    case Registration::JournalGivenSince:
    case Registration::JournalNoTransforms:
      return EmbeddedTransform(profile.languageRow);
    case Registration::OwnPath:
      return kOwnTransformFolder + std::u16string(LanguageTable[profile.languageRow].transformFile);
    default:
      return std::nullopt;
  }
}

bool PatchApplied(const sim::FakeMachine& machine) {
  const std::uint8_t state = PatchState(machine);
  return state == kPatchApplied || state == kPatchSuperseded;
}

bool PatchedJournalKept(const sim::FakeMachine& machine) {
  const std::optional<sim::RegistryValue> journal =
      machine.GetRawValue(ProductKey(), "TransformsBackup");
  return PatchApplied(machine) && journal && journal->type == REG_SZ;
}

bool PatchedButRedirected(const sim::FakeMachine& machine) {
  const std::optional<std::u16string> transforms =
      machine.GetWideString(ProductKey(), "Transforms");
  return PatchedJournalKept(machine) && transforms && !TransformsReachable(machine, *transforms);
}

bool TransformsReachable(const sim::FakeMachine& machine, const std::u16string& list) {
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(u';', start), list.size());
    std::u16string entry = list.substr(start, end - start);
    if (!entry.empty() && (entry[0] == u'@' || entry[0] == u'|')) entry.erase(0, 1);
    const bool fullPath = entry.size() > 2 && entry[1] == u':' && entry[2] == u'\\';
    if (fullPath && !machine.PathExists(entry)) return false;
    start = end + 1;
  }
  return true;
}

Applicability ApplicabilityOf(const sim::FakeMachine& machine) {
  if (machine.HasKey(ProductKey())) return Applicability::Applicable;
  // A user's registration holds the product's InstallProperties.
  return machine.GetLocalMachineValue(PerUserProductKey() + "\\InstallProperties", "DisplayName")
             ? Applicability::PerUserOnly
             : Applicability::NotApplicable;
}

bool RegistrationClean(const MachineProfile& profile, const sim::FakeMachine& machine) {
  if (profile.otherProduct) {
    const std::string other = proof::ProductKeyOf(kTesselRow);
    const std::optional<sim::RegistryValue> transforms = machine.GetRawValue(other, "Transforms");
    if (machine.HasValue(other, "TransformsBackup") || !transforms ||
        transforms->bytes != sim::Utf16Bytes(kOtherProductTransforms)) {
      return false;
    }
  }
  const bool registered = profile.registration != Registration::PerUserOnly &&
                          profile.registration != Registration::NotInstalled;
  if (!registered) return !machine.HasKey(ProductKey());
  if (machine.HasValue(ProductKey(), "TransformsBackup") ||
      machine.GetWideString(ProductKey(), "ProductName") != std::u16string(kProductName)) {
    return false;
  }
  const std::optional<sim::RegistryValue> transforms =
      machine.GetRawValue(ProductKey(), "Transforms");
  const std::optional<std::u16string> own = OwnTransforms(profile);
  if (!own) return !transforms;
  return transforms && transforms->type == REG_SZ && transforms->bytes == sim::Utf16Bytes(*own);
}

bool MayEndClean(const MachineProfile& profile, int cycles) {
  const std::vector<Status> reasons = ExplainingStatuses(profile, cycles);
  return reasons.empty() || profile.supersededBefore ||
         (reasons.size() == 1 && profile.installer == InstallerBehaviour::KilledOnFirstRun);
}

std::vector<Status> ExplainingStatuses(const MachineProfile& profile, int cycles) {
  std::vector<Status> statuses;
  if (profile.serviceRunning) statuses.push_back(1);
  if (profile.installationBusyCycles >= cycles) statuses.push_back(1618);
  if (profile.installer == InstallerBehaviour::Fails ||
      profile.installer == InstallerBehaviour::KilledOnFirstRun) {
    statuses.push_back(1603);
  }
  return statuses;
}

bool Detected(const sim::FakeMachine& machine) {
  const std::optional<sim::RegistryValue> journal =
      machine.GetRawValue(ProductKey(), "TransformsBackup");
  const bool journalLeft = journal && (journal->type == REG_SZ || journal->type == REG_EXPAND_SZ);
  return PatchApplied(machine) && !journalLeft;
}

}  // namespace setup::fleet
