#include "sim/registry_tree.h"

#include <algorithm>

#include "sim/ascii_case.h"

namespace setup::sim {
namespace {

void MarkDeleted(RegistryKey* key) {
  key->deleted = true;
  for (const auto& subKey : key->subKeys) MarkDeleted(subKey.get());
}

}  // namespace

std::shared_ptr<RegistryKey> RegistryKey::FindSubKey(std::string_view subKeyName) const {
  for (const auto& subKey : subKeys) {
    if (EqualsIgnoringAsciiCase(subKey->name, subKeyName)) return subKey;
  }
  return nullptr;
}

const RegistryValue* RegistryKey::FindValue(std::string_view valueName) const {
  for (const RegistryValue& value : values) {
    if (EqualsIgnoringAsciiCase(value.name, valueName)) return &value;
  }
  return nullptr;
}

RegistryValue* RegistryKey::FindValue(std::string_view valueName) {
  return const_cast<RegistryValue*>(static_cast<const RegistryKey*>(this)->FindValue(valueName));
}

bool RegistryKey::RemoveValue(std::string_view valueName) {
  const auto found = std::find_if(values.begin(), values.end(), [&](const RegistryValue& value) {
    return EqualsIgnoringAsciiCase(value.name, valueName);
  });
  if (found == values.end()) return false;
  values.erase(found);
  return true;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>* names) {
  names->clear();
  if (!path.empty() && path.front() == '\\') return false;
  while (!path.empty()) {
    const std::size_t end = std::min(path.find('\\'), path.size());
    if (end > 0) names->emplace_back(path.substr(0, end));
    path.remove_prefix(std::min(end + 1, path.size()));
  }
  return true;
}

RegistryTree::RegistryTree() : root_(std::make_shared<RegistryKey>()) {}

std::shared_ptr<RegistryKey> RegistryTree::Walk(std::shared_ptr<RegistryKey> from,
                                                const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (from == nullptr) break;
    from = from->FindSubKey(name);
  }
  return from;
}

std::shared_ptr<RegistryKey> RegistryTree::Find(std::string_view path) const {
  std::vector<std::string> names;
  if (!SplitKeyPath(path, &names)) return nullptr;
  return Walk(root_, names);
}

std::shared_ptr<RegistryKey> RegistryTree::Create(std::string_view path) {
  std::vector<std::string> names;
  if (!SplitKeyPath(path, &names)) return nullptr;
  std::shared_ptr<RegistryKey> key = root_;
  for (const std::string& name : names) {
    std::shared_ptr<RegistryKey> subKey = key->FindSubKey(name);
    if (subKey == nullptr) {
      subKey = std::make_shared<RegistryKey>();
      subKey->name = name;
      subKey->path = key->path.empty() ? name : key->path + "\\" + name;
      key->subKeys.push_back(subKey);
    }
    key = subKey;
  }
  return key;
}

bool RegistryTree::Remove(std::string_view path) {
  std::vector<std::string> names;
  if (!SplitKeyPath(path, &names) || names.empty()) return false;
  const std::string last = names.back();
  names.pop_back();
  const std::shared_ptr<RegistryKey> parent = Walk(root_, names);
  if (parent == nullptr) return false;
  auto& siblings = parent->subKeys;
  const auto found = std::find_if(siblings.begin(), siblings.end(), [&](const auto& subKey) {
    return EqualsIgnoringAsciiCase(subKey->name, last);
  });
  if (found == siblings.end()) return false;
  MarkDeleted(found->get());
  siblings.erase(found);
  return true;
}

}  // namespace setup::sim
