#include "platform/registry.h"

#include <algorithm>
#include <cstring>

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

bool StoredString::IsEmpty() const {
  return byteCount == 0 || (byteCount == sizeof(WideChar) && units.c_str()[0] == u'\0');
}

std::size_t StoredString::ShownLength() const {
  const std::size_t length = units.size();
  const bool terminated =
      byteCount % sizeof(WideChar) == 0 && length > 0 && units.c_str()[length - 1] == u'\0';
  return terminated ? length - 1 : length;
}

std::size_t StoredString::TextLength() const {
  return std::min<std::size_t>(setup::TextLength(units.c_str()), byteCount / sizeof(WideChar));
}

bool SameStoredString(const StoredString& left, const StoredString& right) {
  if (left.type != right.type || left.byteCount != right.byteCount) return false;
  // Compared here, not by memcmp: an import of the C runtime costs more than the loop.
  for (std::uint32_t at = 0; at < left.byteCount; ++at) {
    if (left.bytes()[at] != right.bytes()[at]) return false;
  }
  return true;
}

Status ReadStoredString(Platform& platform, RegKey key, const WideChar* valueName,
                        StoredString& value) {
  value.units.clear();
  value.byteCount = 0;
  std::uint32_t size = 0;
  std::uint32_t type = 0;
  Status status = platform.RegQueryValueExW(key, valueName, &type, nullptr, &size);
  for (int attempt = 0; attempt < kReadAttempts && status == ERROR_SUCCESS; ++attempt) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) break;
    // The room holds every byte of the value (an odd one too) and a
    // terminating unit of our own.
    WideChar* const room = value.units.make_room(size / sizeof(WideChar) + 1);
    if (room == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    std::uint32_t read = size;
    status = platform.RegQueryValueExW(key, valueName, &type, reinterpret_cast<std::uint8_t*>(room),
                                       &read);
    if (status == ERROR_MORE_DATA) {
      status = ERROR_SUCCESS;
      size = read;
      continue;
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) break;
    value.byteCount = std::min(read, size);
    value.units.set_length((value.byteCount + 1) / sizeof(WideChar));
    value.type = type;
    return ERROR_SUCCESS;
  }
  value.units.clear();
  if (status == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ) {
    value.type = type;
    return ERROR_INVALID_DATATYPE;
  }
  return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

Status WriteStoredString(Platform& platform, RegKey key, const WideChar* valueName,
                         const StoredString& value) {
  HeapText copy;
  auto* const bytes =
      reinterpret_cast<std::uint8_t*>(copy.make_room(value.byteCount / sizeof(WideChar) + 2));
  if (bytes == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  std::memcpy(bytes, value.bytes(), value.byteCount);
  std::memset(bytes + value.byteCount, 0xFF, 2 * sizeof(WideChar));
  return platform.RegSetValueExW(key, valueName, value.type, bytes, value.byteCount);
}

}  // namespace setup
