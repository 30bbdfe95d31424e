// A whole launcher run described as data: the machine it starts on and what
// the installer child does. The fuzzers decode one from their input; the
// fault sweep writes a few by hand.
#ifndef SETUP_TESTS_PROOF_SCENARIO_H
#define SETUP_TESTS_PROOF_SCENARIO_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "detection/product_identification.h"
#include "platform/platform.h"
#include "proof/database_pool.h"
#include "sim/fake_machine.h"

namespace setup::proof {

// Registry data exactly as stored: any type, any bytes, no terminator needed.
struct StoredValue {
  std::uint32_t type = REG_SZ;
  std::vector<std::uint8_t> bytes;
};

// In rising order of restriction.
enum class KeyAccess { Full, ReadOnly, Denied };

// One product row's registration key.
struct ProductKey {
  int row = 0;
  KeyAccess access = KeyAccess::Full;
  std::optional<StoredValue> transforms;
  std::optional<StoredValue> backup;  // a journal left by an earlier run
};

// A file added by long name and optional 8.3 name.
struct FileName {
  std::u16string longName;
  std::u16string shortName;
};

// A value of one of the patch folder's language ini files.
struct IniValue {
  std::string fileName;  // inside the patch folder
  std::u16string section;
  std::u16string key;
  std::u16string value;
};

// What the installer does while the launcher waits.
enum class ChildAction {
  ExitOnly,
  // Writes the product's Transforms itself, as an installer updating the
  // registration it patches may do.
  RewriteTransforms,
  DeleteTransforms,
};

struct InstallerChild {
  std::optional<Status> startError;  // the process cannot be started
  std::uint32_t exitCode = 0;
  ChildAction action = ChildAction::ExitOnly;
  std::u16string rewrittenValue;
};

struct Scenario {
  // The patch folder the launcher starts in; none: the current directory
  // cannot be had.
  std::optional<std::u16string> folder = std::u16string(u"C:\\Patch Files");
  std::u16string folderShortName = u"PATCHF~1";
  bool shortNamesAvailable = true;
  std::vector<FileName> folderFiles;   // beside Setup.exe
  std::vector<FileName> packageFiles;  // in Files
  // The installer database beside Setup.exe: its name and its pool entry.
  std::optional<FileName> databaseFile;
  std::size_t databaseEntry = 0;
  std::vector<IniValue> iniValues;
  std::vector<ProductKey> products;
  std::vector<std::pair<std::string, std::uint32_t>> services;  // name, state
  std::uint16_t systemLanguage = 0x0409;
  std::uint32_t systemCodePage = 1252;
  std::uint32_t threadCodePage = 1252;
  std::u16string commandLine = u"Setup.exe";
  std::u16string systemDirectory = u"C:\\windows\\system32";
  bool otherLauncherRunning = false;
  bool windowStationVisible = true;
  // The launcher runs in session 0, as a service or SYSTEM does, where the
  // window station may call itself visible though nobody sees it.
  bool serviceSession = false;
  InstallerChild child;
};

// Sets `machine` up as `scenario` describes. Throws std::invalid_argument
// (from the machine) for a description the machine cannot hold.
void Apply(const Scenario& scenario, const DatabasePool& databases, sim::FakeMachine& machine);

// The product services that must be stopped before a patch is applied, as
// the service manager registers them: stated here, not taken from the
// launcher, so that a name it misspells is caught.
inline constexpr const char* kGuardedServices[] = {
    "Quarrix Loomwork (CONFIG)", "Quarrix Loomwork (HXE)", "Quarrix Loomwork (HXE & CONFIG)",
    "Quarrix Loomwork (ZNQ)"};

// A product row's registration key under HKEY_CLASSES_ROOT, made from the
// row's packed code here rather than by the launcher.
std::string ProductKeyOf(int row);

// Whether a guarded service is installed in another state than stopped.
bool ServiceBlocks(const Scenario& scenario);

// One product row's registration as the installer found it when it
// started.
struct SeenRegistration {
  bool exists = false;
  std::optional<sim::RegistryValue> transforms;
  std::optional<sim::RegistryValue> backup;
};
using SeenRegistrations = std::array<SeenRegistration, ProductTableCount>;

// What a whole run returned, where its log is (empty for none), and what
// the installer found, when one ran during this run.
struct LauncherRun {
  Status exitStatus;
  std::u16string logPath;
  std::optional<SeenRegistrations> installerSaw;
};

// Runs the launcher once on `machine`.
LauncherRun RunLauncher(sim::FakeMachine& machine);

}  // namespace setup::proof

#endif  // SETUP_TESTS_PROOF_SCENARIO_H
