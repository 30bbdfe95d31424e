// FakeMachine: the registry under HKEY_CLASSES_ROOT, its handles and the
// Windows rules for access rights and value sizes.
#include <cstring>
#include <stdexcept>

#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"
#include "sim/utf16_bytes.h"

namespace setup::sim {
namespace {

constexpr Status kErrorInvalidParameter = 87;

// Writes a value into `key`, replacing one of the same name.
void StoreValue(RegistryKey& key, const std::string& name, std::uint32_t type,
                std::vector<std::uint8_t> bytes) {
  if (RegistryValue* value = key.FindValue(name)) {
    value->type = type;
    value->bytes = std::move(bytes);
  } else {
    key.values.push_back(RegistryValue{name, type, std::move(bytes)});
  }
}

// The value at `path` in `tree`; none when the key or the value is absent.
std::optional<RegistryValue> ValueIn(const RegistryTree& tree, const std::string& path,
                                     const std::string& name) {
  const std::shared_ptr<RegistryKey> key = tree.Find(path);
  const RegistryValue* value = key != nullptr ? key->FindValue(name) : nullptr;
  if (value == nullptr) return std::nullopt;
  return *value;
}
constexpr Status kErrorBadPathname = 161;
constexpr Status kErrorKeyDeleted = 1018;

constexpr std::uint32_t kRegMultiSz = 7;

bool IsStringType(std::uint32_t type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == kRegMultiSz;
}

constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeyWrite = 0x20006;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;
constexpr std::uint32_t kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr std::uint32_t kWow64ViewFlags = 0x0300;  // pick a view; not rights
constexpr std::uint32_t kMaximumAllowed = 0x02000000u;
constexpr std::uint32_t kGenericAll = 0x10000000u;
constexpr std::uint32_t kGenericExecute = 0x20000000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kGenericRead = 0x80000000u;

// The specific rights `access` asks for, generic rights mapped as the
// registry maps them.
std::uint32_t MapKeyAccess(std::uint32_t access) {
  std::uint32_t rights = access & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll |
                                    kMaximumAllowed | kWow64ViewFlags);
  if ((access & (kGenericRead | kGenericExecute)) != 0) rights |= KEY_READ;
  if ((access & kGenericWrite) != 0) rights |= kKeyWrite;
  if ((access & kGenericAll) != 0) rights |= kKeyAllAccess;
  return rights;
}

// The text of a terminated value, one trailing zero unit dropped.
std::u16string StoredText(const std::vector<std::uint8_t>& bytes) {
  std::u16string text = Utf16Text(bytes);
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

}  // namespace

// ---- Test set-up -------------------------------------------------------------

std::shared_ptr<RegistryKey> FakeMachine::KeyForSetUp(const std::string& path) {
  std::shared_ptr<RegistryKey> key = registry_.Create(path);
  if (key == nullptr) throw std::invalid_argument("malformed registry path: " + path);
  return key;
}

void FakeMachine::AddKey(const std::string& path) { KeyForSetUp(path); }

void FakeMachine::SetString(const std::string& path, const std::string& name,
                            const std::string& value) {
  SetString(path, name, DecodeAnsi(value));
}

void FakeMachine::SetString(const std::string& path, const std::string& name,
                            const std::u16string& value) {
  SetRawValue(path, name, REG_SZ, Utf16Bytes(value));
}

void FakeMachine::SetRawValue(const std::string& path, const std::string& name, std::uint32_t type,
                              std::vector<std::uint8_t> bytes) {
  StoreValue(*KeyForSetUp(path), name, type, std::move(bytes));
}

void FakeMachine::GrowOnEveryQuery(const std::string& path, const std::string& name,
                                   std::size_t units) {
  growingValues_[path + "\n" + name] = units;
}

std::optional<RegistryValue> FakeMachine::GetRawValue(const std::string& path,
                                                      const std::string& name) const {
  return ValueIn(registry_, path, name);
}

void FakeMachine::SetLocalMachineValue(const std::string& path, const std::string& name,
                                       std::uint32_t type, std::vector<std::uint8_t> bytes) {
  const std::shared_ptr<RegistryKey> key = localMachine_.Create(path);
  if (key == nullptr) throw std::invalid_argument("malformed key path: " + path);
  StoreValue(*key, name, type, std::move(bytes));
}

std::optional<RegistryValue> FakeMachine::GetLocalMachineValue(const std::string& path,
                                                               const std::string& name) const {
  return ValueIn(localMachine_, path, name);
}

std::optional<std::string> FakeMachine::GetString(const std::string& path,
                                                  const std::string& name) const {
  const std::optional<std::u16string> text = GetWideString(path, name);
  if (!text) return std::nullopt;
  return EncodeAnsi(*text);
}

std::optional<std::u16string> FakeMachine::GetWideString(const std::string& path,
                                                         const std::string& name) const {
  const std::optional<RegistryValue> value = GetRawValue(path, name);
  if (!value) return std::nullopt;
  return StoredText(value->bytes);
}

bool FakeMachine::HasKey(const std::string& path) const { return registry_.Find(path) != nullptr; }

bool FakeMachine::HasValue(const std::string& path, const std::string& name) const {
  return GetRawValue(path, name).has_value();
}

void FakeMachine::RemoveValue(const std::string& path, const std::string& name) {
  if (const std::shared_ptr<RegistryKey> key = registry_.Find(path)) key->RemoveValue(name);
}

void FakeMachine::RemoveKey(const std::string& path) { registry_.Remove(path); }

void FakeMachine::DenyRead(const std::string& path) { KeyForSetUp(path)->readDenied = true; }

void FakeMachine::DenyWrite(const std::string& path) { KeyForSetUp(path)->writeDenied = true; }

std::size_t FakeMachine::OpenKeyCount() const { return openKeys_.size(); }

// ---- Platform ----------------------------------------------------------------

Status FakeMachine::LookUpKey(RegKey handle, OpenRegistryKey* open) const {
  if (handle == HKEY_CLASSES_ROOT) {
    *open = OpenRegistryKey{registry_.root(), kKeyAllAccess};
    return ERROR_SUCCESS;
  }
  const auto found = openKeys_.find(handle);
  if (found == openKeys_.end()) return ERROR_INVALID_HANDLE;
  if (found->second.key->deleted) return kErrorKeyDeleted;
  *open = found->second;
  return ERROR_SUCCESS;
}

Status FakeMachine::RegOpenKeyExW(RegKey root, const WideChar* subKey, std::uint32_t /*options*/,
                                  std::uint32_t access, RegKey* result) noexcept {
  return EnterWithStatus(Operation::RegOpenKeyExW, [&]() -> Status {
    if (result == nullptr) return kErrorInvalidParameter;
    *result = RegKey{0};
    OpenRegistryKey base;
    if (const Status status = LookUpKey(root, &base); status != ERROR_SUCCESS) return status;
    std::vector<std::string> names;
    if (!SplitKeyPath(NameOf(subKey), &names)) return kErrorBadPathname;
    const std::shared_ptr<RegistryKey> key = RegistryTree::Walk(base.key, names);
    if (key == nullptr) return ERROR_FILE_NOT_FOUND;
    if (key->readDenied) return ERROR_ACCESS_DENIED;
    std::uint32_t rights = MapKeyAccess(access);
    if ((access & kMaximumAllowed) != 0) {
      rights |= key->writeDenied ? KEY_READ : kKeyAllAccess;
    } else if (key->writeDenied && (rights & kWriteRights) != 0) {
      return ERROR_ACCESS_DENIED;
    }
    const RegKey handle{NextHandleValue()};
    openKeys_[handle] = OpenRegistryKey{key, rights};
    *result = handle;
    return ERROR_SUCCESS;
  });
}

Status FakeMachine::RegQueryValueExW(RegKey key, const WideChar* valueName, std::uint32_t* type,
                                     std::uint8_t* data, std::uint32_t* size) noexcept {
  return EnterWithStatus(Operation::RegQueryValueExW, [&]() -> Status {
    if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
    OpenRegistryKey open;
    if (const Status status = LookUpKey(key, &open); status != ERROR_SUCCESS) return status;
    if ((open.rights & kKeyQueryValue) == 0) return ERROR_ACCESS_DENIED;
    RegistryValue* value = open.key->FindValue(NameOf(valueName));
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    const auto growing = growingValues_.find(open.key->path + "\n" + value->name);
    if (growing != growingValues_.end()) {
      value->bytes.insert(value->bytes.begin(), growing->second * sizeof(char16_t), 'x');
    }
    if (type != nullptr) *type = value->type;
    const auto stored = static_cast<std::uint32_t>(value->bytes.size());
    if (data != nullptr) {
      if (*size < stored) {
        *size = stored;
        return ERROR_MORE_DATA;
      }
      if (stored > 0) std::memcpy(data, value->bytes.data(), stored);
      // Windows ends string data stored without a zero unit with one when
      // the buffer has room for it, not counted in the size. It reads the
      // two bytes before the end as that unit, an odd size or not.
      if (IsStringType(value->type) && stored >= sizeof(char16_t) &&
          *size - stored >= sizeof(char16_t) && (data[stored - 2] != 0 || data[stored - 1] != 0)) {
        data[stored] = 0;
        data[stored + 1] = 0;
      }
    }
    if (size != nullptr) *size = stored;
    return ERROR_SUCCESS;
  });
}

Status FakeMachine::RegSetValueExW(RegKey key, const WideChar* valueName, std::uint32_t type,
                                   const std::uint8_t* data, std::uint32_t size) noexcept {
  return EnterWithStatus(Operation::RegSetValueExW, [&]() -> Status {
    OpenRegistryKey open;
    if (const Status status = LookUpKey(key, &open); status != ERROR_SUCCESS) return status;
    if ((open.rights & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (data == nullptr && size > 0) return kErrorInvalidParameter;
    // Windows counts in a terminator the size left out: string data whose
    // last whole unit is not zero, followed in memory by a zero unit, is
    // stored two bytes longer. Like Windows, this reads past `size`.
    if (IsStringType(type) && size >= sizeof(char16_t)) {
      const std::uint32_t next = size / 2 * 2;
      if ((data[next - 2] != 0 || data[next - 1] != 0) && data[next] == 0 && data[next + 1] == 0) {
        size += 2;
      }
    }
    std::vector<std::uint8_t> bytes;
    if (size > 0) bytes.assign(data, data + size);
    const std::string name = NameOf(valueName);
    registryChanges_.push_back({RegistryChange::Kind::Set, open.key->path, name, type, bytes});
    if (RegistryValue* value = open.key->FindValue(name)) {
      value->type = type;
      value->bytes = std::move(bytes);
    } else {
      open.key->values.push_back(RegistryValue{name, type, std::move(bytes)});
    }
    return ERROR_SUCCESS;
  });
}

Status FakeMachine::RegDeleteValueW(RegKey key, const WideChar* valueName) noexcept {
  return EnterWithStatus(Operation::RegDeleteValueW, [&]() -> Status {
    OpenRegistryKey open;
    if (const Status status = LookUpKey(key, &open); status != ERROR_SUCCESS) return status;
    if ((open.rights & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    const std::string name = NameOf(valueName);
    if (!open.key->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
    registryChanges_.push_back({RegistryChange::Kind::Delete, open.key->path, name, 0, {}});
    return ERROR_SUCCESS;
  });
}

Status FakeMachine::RegCloseKey(RegKey key) noexcept {
  return EnterClose(Operation::RegCloseKey, ERROR_INVALID_HANDLE, [&]() -> Status {
    if (key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;  // closing a predefined key is allowed
    return openKeys_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  });
}

}  // namespace setup::sim
