// One machine of a simulated fleet: what it starts with, drawn from a seed
// in the proportions a fleet meets, and the rules that judge it afterwards
// (whether the patch is applied, whether its registration is as it was),
// stated here from the machine's own description, not taken from the
// launcher.
#ifndef SETUP_TESTS_FLEET_FLEET_MACHINE_H
#define SETUP_TESTS_FLEET_FLEET_MACHINE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/fake_machine.h"

namespace setup::fleet {

// SplitMix64: the same numbers from a seed on every host and compiler,
// which the standard distributions do not promise.
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int bound) { return static_cast<int>(Next() % static_cast<std::uint64_t>(bound)); }
  bool Percent(int chance) { return Below(100) < chance; }

 private:
  std::uint64_t state_;
};

// How the product stands in the registry when the deployment starts.
enum class Registration {
  OwnEmbedded,       // Transforms ":<lang>.mst", the common case
  OwnPath,           // Transforms naming a transform file on the machine
  NoTransforms,      // registered without Transforms
  JournalOldFolder,  // a killed run's redirection to a cache folder since cleaned, and its journal
  JournalEmptyOldFolder,  // the same, for a product without Transforms (an empty journal)
  JournalGivenSince,      // a journal beside a Transforms given to the product since
  JournalNoTransforms,    // a journal, and Transforms deleted since
  PerUserOnly,            // installed for one user: SYSTEM sees no registration
  NotInstalled,
};
const char* RegistrationName(Registration registration);

// What the installer does on this machine.
enum class InstallerBehaviour {
  Applies,
  AsksRestart,       // applies and ends 3010
  Fails,             // ends 1603 every time, nothing applied
  KilledOnFirstRun,  // ended by someone on its first run (exit 1), nothing applied
};

struct MachineProfile {
  std::uint64_t seed = 0;
  Registration registration = Registration::OwnEmbedded;
  int languageRow = 0;             // of the language table
  bool otherProduct = false;       // another product of the table, which no run may touch
  bool serviceRunning = false;     // a product service that is not stopped
  int installationBusyCycles = 0;  // cycles during which another installation runs
  InstallerBehaviour installer = InstallerBehaviour::Applies;
  bool tempFolderGone = false;  // TMP names a folder that does not exist
  bool hasTempPath2 = false;    // kernel32 has GetTempPath2W (SYSTEM gets SystemTemp)
  // The patch was applied before and a newer one has superseded it since:
  // the installer holds it as superseded, and it must not be run again.
  bool supersededBefore = false;
};

// The profile of the machine `seed` stands for.
MachineProfile DrawProfile(std::uint64_t seed);

// The product every machine of the fleet may have: the one the patch is for.
int PatchedProductRow();

// Sets `machine` up as `profile` says: the product's registration, the
// services, the temporary folders, the account (SYSTEM, in session 0).
void SetUpMachine(const MachineProfile& profile, sim::FakeMachine& machine);

// Copies the patch folder to `folder` as a deployment tool's client does
// into its cache, and makes it the launcher's current directory with the
// unattended command line.
void StageRun(const std::u16string& folder, sim::FakeMachine& machine);

// The product's own Transforms, as the machine should hold it after a
// finished run: the value it was given last (none: absent).
std::optional<std::u16string> OwnTransforms(const MachineProfile& profile);

// Whether the installer holds the patch as applied or as superseded by a
// newer one, in the machine context: what the installer's PatchesEx (filter
// applied | superseded) reports. Registered-only and obsolete do not count.
bool PatchApplied(const sim::FakeMachine& machine);
// The patch is in, but a killed run's journal is kept (a string
// TransformsBackup): the run was ended before it put the registration
// back. One more run that finishes does.
bool PatchedJournalKept(const sim::FakeMachine& machine);
// Of those, the ones whose Transforms still names a file that is gone (a
// cleaned cache folder's): still redirected.
bool PatchedButRedirected(const sim::FakeMachine& machine);

// Whether every transform a Transforms list names can be opened. Entries
// are separated by ';'; ':' marks one stored in the package, '@' and '|'
// the secure forms; a full path must name a file (a cleaned cache
// folder's does not).
bool TransformsReachable(const sim::FakeMachine& machine, const std::u16string& list);

// The requirement rule: a targeted product registered per machine. Where
// the product is registered for a user only, the patch does not reach it
// either; such machines are counted on their own.
enum class Applicability { Applicable, NotApplicable, PerUserOnly };
Applicability ApplicabilityOf(const sim::FakeMachine& machine);
// Whether the product's registration holds its own Transforms and no journal,
// and another product's is untouched.
bool RegistrationClean(const MachineProfile& profile, const sim::FakeMachine& machine);
// What the machine's description lets it end with, whatever the launcher
// does: clean, and the statuses a person is told (1 for a running
// service, 1618 for an installation that outlasts the cycles, 1603 for a
// failing or killed installer). A machine without the product registered
// per machine is never run.
bool MayEndClean(const MachineProfile& profile, int cycles);
std::vector<Status> ExplainingStatuses(const MachineProfile& profile, int cycles);

// The detection rule of the deployment docs' script: applied or
// superseded, and no string TransformsBackup in the product's registration.
bool Detected(const sim::FakeMachine& machine);

}  // namespace setup::fleet

#endif  // SETUP_TESTS_FLEET_FLEET_MACHINE_H
