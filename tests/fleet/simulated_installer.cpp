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
