// Registry access as the launcher does it: keys under HKEY_CLASSES_ROOT,
// string values of any length.
#ifndef SETUP_PLATFORM_REGISTRY_H
#define SETUP_PLATFORM_REGISTRY_H

#include "platform/heap_text.h"
#include "platform/platform.h"
#include "platform/scoped_handle.h"

namespace setup {

// Opens `subKey` under HKEY_CLASSES_ROOT with `access` into `key`. Returns
// the platform's status; `key` holds a handle only on success.
Status OpenClassesRootKey(Platform& platform, const WideChar* subKey, std::uint32_t access,
                          ScopedRegKey& key);

// A string value as the registry keeps it: every byte, zeros inside and an
// odd last byte included, and its type.
struct StoredString {
  // The bytes as units, the last one half filled for an odd count; may
  // hold zeros. Its room always ends in a zero unit of its own.
  HeapText units;
  std::uint32_t byteCount = 0;
  std::uint32_t type = REG_SZ;

  const std::uint8_t* bytes() const { return reinterpret_cast<const std::uint8_t*>(units.c_str()); }
  // Holds no text: no bytes, or only a terminating zero unit.
  bool IsEmpty() const;
  // The units worth showing: all but a terminating zero unit.
  std::size_t ShownLength() const;
  // The units that are text: up to the first zero, whole units only.
  std::size_t TextLength() const;
};

// The same bytes and type.
bool SameStoredString(const StoredString& left, const StoredString& right);

// Reads a REG_SZ or REG_EXPAND_SZ value whole into `value`, whatever its
// length, as stored. Returns 0, the platform's status (2 when absent),
// ERROR_INVALID_DATATYPE for a value that is no string (value.type then
// holds its type), ERROR_NOT_ENOUGH_MEMORY, or ERROR_MORE_DATA for a value
// that kept growing between the size query and the read four times over;
// the bytes are cleared on failure.
Status ReadStoredString(Platform& platform, RegKey key, const WideChar* valueName,
                        StoredString& value);

// Writes `value` as it was read: its bytes and type, not a unit more.
// Given string data that does not end in a zero unit, the registry counts
// in a zero unit that follows it in memory (Wine's does, after NT's; the
// documentation only asks callers to count the terminator): written from
// a copy whose bytes after the data are not zero, the value keeps its
// bytes wherever it is written. ERROR_NOT_ENOUGH_MEMORY without a copy.
Status WriteStoredString(Platform& platform, RegKey key, const WideChar* valueName,
                         const StoredString& value);

}  // namespace setup

#endif  // SETUP_PLATFORM_REGISTRY_H
