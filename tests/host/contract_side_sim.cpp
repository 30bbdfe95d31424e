// The simulated machine's side of the platform contract
// (tests/contract): the scene is set up and read through the machine's own
// set-up calls, not its platform entries.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "contract/contract_side.h"
#include "sim/fake_machine.h"
#include "sim/utf16_bytes.h"

namespace setup::contract {
namespace {

constexpr char kKey[] = "Installer\\Products\\4F2A";
constexpr char16_t kFolder[] = u"C:\\Setup Platform Łódź 予定表 1";

// The 8.3 names Windows gives the files the contract adds; the others are
// their own short form.
std::u16string ShortNameFor(const std::u16string& name) {
  if (name == u"Setup Run.log") return u"SETUPR~1.LOG";
  if (name == u"Łódź 予定表.msp") return u"DZ~1.MSP";
  return u"";
}

class SimulatedSide : public ContractSide {
 public:
  SimulatedSide() {
    machine_.AddKey(kKey);
    machine_.AddFolder(kFolder, u"SETUPP~1");
  }

  Platform& platform() override { return machine_; }

  std::u16string KeyPath() const override { return u"Installer\\Products\\4F2A"; }
  bool StoreValue(const char16_t* name, const char16_t* data, std::uint32_t size) override {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    machine_.SetRawValue(kKey, sim::AsciiText(name), REG_SZ, {bytes, bytes + size});
    return true;
  }
  bool StoredValue(const char16_t* name, std::string* bytes) override {
    const std::optional<sim::RegistryValue> value =
        machine_.GetRawValue(kKey, sim::AsciiText(name));
    if (!value) return false;
    bytes->assign(value->bytes.begin(), value->bytes.end());
    return true;
  }

  std::u16string Folder() const override { return kFolder; }
  bool AddFile(const char16_t* name, const std::string& content) override {
    const std::u16string file = PathFor(name);
    machine_.AddFileWithContents(file, content);
    machine_.AddFile(file, ShortNameFor(name));  // on an existing entry: its short name
    return true;
  }
  std::u16string PathFor(const char16_t* name) override {
    return std::u16string(kFolder) + u"\\" + name;
  }
  bool FileBytes(const std::u16string& path, std::string* bytes) override {
    const std::optional<std::string> contents = machine_.FileContents(path);
    if (!contents) return false;
    *bytes = *contents;
    return true;
  }
  // There, and not a file.
  bool IsFolder(const std::u16string& path) override {
    return machine_.ShortPathOf(path).has_value() && !machine_.FileContents(path).has_value();
  }
  bool ChangeDirectory(const std::u16string& path) override {
    machine_.SetCurrentDirectory(path);
    return true;
  }

  std::string OpenHandles() const override {
    return machine_.AllHandlesClosed() ? std::string() : machine_.OpenHandlesReport();
  }

 private:
  sim::FakeMachine machine_;
};

}  // namespace

std::unique_ptr<ContractSide> MakeContractSide() { return std::make_unique<SimulatedSide>(); }

}  // namespace setup::contract
