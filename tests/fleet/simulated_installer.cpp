#include "fleet/simulated_installer.h"

#include <memory>
#include <optional>

#include "detection/product_identification.h"
#include "proof/scenario.h"
#include "sim/fake_machine.h"
#include "sim/utf16_bytes.h"

namespace setup::fleet {
namespace {

// Statuses of the installer's own list (msi.h / winerror.h).
constexpr std::uint32_t kInstallFailure = 1603;
constexpr std::uint32_t kTransformFailure = 1624;     // a transform could not be applied
constexpr std::uint32_t kPatchTargetNotFound = 1642;  // no product the patch applies to
constexpr std::uint32_t kRestartRequired = 3010;
constexpr std::uint32_t kEndedByAnother = 1;  // TerminateProcess's usual exit code

// The text of a REG_SZ as stored, up to its terminator.
std::u16string TextOf(const sim::RegistryValue& value) {
  const std::u16string text = sim::Utf16Text(value.bytes);
  return text.substr(0, text.find(u'\0'));
}

// Whether every transform Transforms lists can be opened. Entries are
// separated by ';'; ':' marks one stored in the package, '@' and '|' the
// secure forms; a full path must name a file (a cleaned cache folder's
// does not, and the installer then ends 1624).
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

}  // namespace

sim::ChildProgram SimulatedInstaller(InstallerBehaviour behaviour, const std::string& patchKey) {
  auto starts = std::make_shared<int>(0);
  return [behaviour, patchKey, starts](sim::FakeMachine& machine) -> std::uint32_t {
    const bool firstRun = ++*starts == 1;
    const std::string productKey = proof::ProductKeyOf(PatchedProductRow());
    if (!machine.HasKey(productKey)) return kPatchTargetNotFound;
    if (const std::optional<sim::RegistryValue> transforms =
            machine.GetRawValue(productKey, "Transforms")) {
      if (!TransformsReachable(machine, TextOf(*transforms))) return kTransformFailure;
    }
    if (behaviour == InstallerBehaviour::Fails) return kInstallFailure;
    if (behaviour == InstallerBehaviour::KilledOnFirstRun && firstRun) return kEndedByAnother;
    machine.SetLocalMachineValue(patchKey, "State", REG_DWORD, {1, 0, 0, 0});
    return behaviour == InstallerBehaviour::AsksRestart ? kRestartRequired : ERROR_SUCCESS;
  };
}

}  // namespace setup::fleet
