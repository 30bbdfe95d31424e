// The simulated registry below HKEY_CLASSES_ROOT: a tree of keys holding
// values, names compared case-insensitively as the registry compares them.
#ifndef SETUP_TESTS_SIM_REGISTRY_TREE_H
#define SETUP_TESTS_SIM_REGISTRY_TREE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace setup::sim {

// One value: its bytes exactly as written, terminator or not.
struct RegistryValue {
  std::string name;  // as first written; "" names the key's default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
};

// One key. Open handles share ownership, so a removed key outlives its
// handles and reports itself deleted.
struct RegistryKey {
  std::string name;  // as created
  std::string path;  // from the root, names joined by '\'; "" for the root
  std::vector<std::shared_ptr<RegistryKey>> subKeys;  // in creation order
  std::vector<RegistryValue> values;                  // in creation order
  bool readDenied = false;                            // every open fails with access denied
  bool writeDenied = false;  // opens asking to write fail with access denied
  bool deleted = false;      // removed from the tree

  // The direct subkey named `name`, or null.
  std::shared_ptr<RegistryKey> FindSubKey(std::string_view subKeyName) const;
  // The value named `valueName`, or null.
  const RegistryValue* FindValue(std::string_view valueName) const;
  RegistryValue* FindValue(std::string_view valueName);
  // Removes the value; false when there was none.
  bool RemoveValue(std::string_view valueName);
};

// Splits a key path into its names. Repeated and trailing backslashes are
// skipped, as the registry skips them; false when the path starts with one.
bool SplitKeyPath(std::string_view path, std::vector<std::string>* names);

class RegistryTree {
 public:
  RegistryTree();

  // The key HKEY_CLASSES_ROOT stands for.
  const std::shared_ptr<RegistryKey>& root() const { return root_; }

  // The key reached from `from` through `names`, or null.
  static std::shared_ptr<RegistryKey> Walk(std::shared_ptr<RegistryKey> from,
                                           const std::vector<std::string>& names);

  // The key at `path` from the root, or null (also for a malformed path).
  std::shared_ptr<RegistryKey> Find(std::string_view path) const;

  // The key at `path` from the root, created with its missing parents.
  // Null for a malformed path.
  std::shared_ptr<RegistryKey> Create(std::string_view path);

  // Removes the key at `path` with its subtree; false when absent.
  bool Remove(std::string_view path);

 private:
  std::shared_ptr<RegistryKey> root_;
};

}  // namespace setup::sim

#endif  // SETUP_TESTS_SIM_REGISTRY_TREE_H
