// What a registry key under HKEY_CLASSES_ROOT holds, as JSON for the record.
#ifndef SETUP_TESTS_WINE_TOOLS_REGISTRY_SNAPSHOT_H
#define SETUP_TESTS_WINE_TOOLS_REGISTRY_SNAPSHOT_H

#include <string>
#include <vector>

namespace wine_tools {

// Reads the values `value_names` of HKEY_CLASSES_ROOT\`key_path` with this
// process's own registry view, and returns a JSON object:
//   {"key": path, "exists": true|false, "values": {name: VALUE, ...}}
// VALUE is null when the value is absent, else {"type": n, "size": bytes,
// "data": text}; text is the string without its final terminator for the
// string types and lowercase hex of the bytes for the others. An open or read
// failure other than "not found" adds "error": <Win32 code> and reports the
// affected values as null.
std::string SnapshotKey(const std::wstring& key_path, const std::vector<std::wstring>& value_names);

}  // namespace wine_tools

#endif  // SETUP_TESTS_WINE_TOOLS_REGISTRY_SNAPSHOT_H
