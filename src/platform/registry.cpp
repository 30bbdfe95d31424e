#include "platform/registry.h"

#include <algorithm>

#include "platform/bounded_text.h"

namespace setup {

namespace {

// A value that keeps growing between the size query and the read is given
// up after this many tries rather than chased for ever.
constexpr int kReadAttempts = 4;

}  // namespace

Status OpenClassesRootKey(Platform& platform, const char* subKey, std::uint32_t access,
                          ScopedRegKey& key) {
  RegKey opened{};
  const Status status = platform.RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, access, &opened);
  if (status == ERROR_SUCCESS) key.adopt(opened);
  return status;
}

Status ReadRegistryString(Platform& platform, RegKey key, const char* valueName, HeapText& value,
                          std::uint32_t* valueType) {
  value.clear();
  std::uint32_t size = 0;
  std::uint32_t type = 0;
  Status status = platform.RegQueryValueExA(key, valueName, &type, nullptr, &size);
  for (int attempt = 0; attempt < kReadAttempts && status == ERROR_SUCCESS; ++attempt) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
    // The room has one byte more than the value: a terminator of our own.
    char* const room = value.make_room(size);
    if (room == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    std::uint32_t read = size;
    status = platform.RegQueryValueExA(key, valueName, &type, reinterpret_cast<std::uint8_t*>(room),
                                       &read);
    if (status == ERROR_MORE_DATA) {
      status = ERROR_SUCCESS;
      size = read;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      value.clear();
      return ERROR_INVALID_DATATYPE;
    }
    value.set_length(std::min<std::size_t>(TextLength(room), std::min(read, size)));
    if (valueType != nullptr) *valueType = type;
    return ERROR_SUCCESS;
  }
  value.clear();
  return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

}  // namespace setup
