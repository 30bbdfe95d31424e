#include "platform/registry.h"

#include <algorithm>

#include "platform/bounded_text.h"

namespace setup {

namespace {

// A value that keeps growing between the size query and the read is given
// up after this many tries rather than chased for ever.
constexpr int kReadAttempts = 4;

}  // namespace

Status OpenClassesRootKey(Platform& platform, const WideChar* subKey, std::uint32_t access,
                          ScopedRegKey& key) {
  RegKey opened{};
  const Status status = platform.RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey, 0, access, &opened);
  if (status == ERROR_SUCCESS) key.adopt(opened);
  return status;
}

Status ReadRegistryString(Platform& platform, RegKey key, const WideChar* valueName,
                          HeapText& value, std::uint32_t* valueType) {
  value.clear();
  std::uint32_t size = 0;
  std::uint32_t type = 0;
  Status status = platform.RegQueryValueExW(key, valueName, &type, nullptr, &size);
  for (int attempt = 0; attempt < kReadAttempts && status == ERROR_SUCCESS; ++attempt) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
    // The room holds every byte of the value (an odd one too) and a
    // terminating unit of our own.
    WideChar* const room = value.make_room(size / sizeof(WideChar) + 1);
    if (room == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    std::uint32_t read = size;
    status = platform.RegQueryValueExW(key, valueName, &type, reinterpret_cast<std::uint8_t*>(room),
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
    // A unit cut in half by an odd size is not text.
    value.set_length(
        std::min<std::size_t>(TextLength(room), std::min(read, size) / sizeof(WideChar)));
    if (valueType != nullptr) *valueType = type;
    return ERROR_SUCCESS;
  }
  value.clear();
  return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

}  // namespace setup
