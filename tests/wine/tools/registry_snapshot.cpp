#include "registry_snapshot.h"

#include <windows.h>

#include <cstdint>

#include "json_line.h"
#include "scoped_handles.h"

namespace wine_tools {

namespace {

struct RawValue {
  LONG status = ERROR_SUCCESS;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

// Reads one value whole, growing the buffer should it change under us.
RawValue ReadRawValue(HKEY key, const std::wstring& name) {
  RawValue value;
  DWORD size = 0;
  value.status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
  for (int attempt = 0; attempt < 4 && value.status == ERROR_SUCCESS; ++attempt) {
    value.bytes.assign(static_cast<std::size_t>(size) + sizeof(wchar_t), 0);
    DWORD capacity = static_cast<DWORD>(value.bytes.size());
    value.status =
        RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.bytes.data(), &capacity);
    if (value.status == ERROR_MORE_DATA) {
      size = capacity;
      value.status = ERROR_SUCCESS;
      continue;
    }
    if (value.status == ERROR_SUCCESS) value.bytes.resize(capacity);
    return value;
  }
  return value;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::string DescribeValue(const RawValue& value) {
  JsonObject object;
  object.AddNumber("type", value.type);
  object.AddNumber("size", value.bytes.size());
  std::wstring data;
  if (IsStringType(value.type)) {
    for (std::size_t i = 0; i + 1 < value.bytes.size(); i += 2) {
      const auto unit = static_cast<unsigned>(value.bytes[i] | (value.bytes[i + 1] << 8));
      data += static_cast<wchar_t>(unit);
    }
    if (!data.empty() && data.back() == L'\0') data.pop_back();
  } else {
    static const wchar_t kHexDigits[] = L"0123456789abcdef";
    for (const BYTE byte : value.bytes) {
      data += kHexDigits[byte >> 4];
      data += kHexDigits[byte & 0xF];
    }
  }
  object.AddString("data", data);
  return object.Text();
}

}  // namespace

std::string SnapshotKey(const std::wstring& key_path,
                        const std::vector<std::wstring>& value_names) {
  JsonObject snapshot;
  snapshot.AddString("key", key_path);

  ScopedKey key;
  const LONG open_status =
      RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_QUERY_VALUE, key.receive());
  snapshot.AddJson("exists", open_status == ERROR_SUCCESS ? "true" : "false");

  LONG error = open_status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : open_status;
  JsonObject values;
  for (const std::wstring& name : value_names) {
    std::string json_name;
    AppendJsonString(json_name, name);
    json_name = json_name.substr(1, json_name.size() - 2);  // the member name, without quotes
    if (open_status != ERROR_SUCCESS) {
      values.AddNull(json_name.c_str());
      continue;
    }
    const RawValue value = ReadRawValue(key.get(), name);
    if (value.status == ERROR_SUCCESS) {
      values.AddJson(json_name.c_str(), DescribeValue(value));
    } else {
      if (value.status != ERROR_FILE_NOT_FOUND) error = value.status;
      values.AddNull(json_name.c_str());
    }
  }
  snapshot.AddJson("values", values.Text());
  if (error != ERROR_SUCCESS) snapshot.AddNumber("error", static_cast<std::uint32_t>(error));
  return snapshot.Text();
}

}  // namespace wine_tools
