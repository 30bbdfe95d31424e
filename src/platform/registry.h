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

// Reads a REG_SZ or REG_EXPAND_SZ value whole into `value` as the
// registry keeps it, in UTF-16, whatever its length, up to its first zero
// unit; a value stored without a terminating zero is taken up to its last
// whole unit. Returns 0, the platform's status (2 when absent),
// ERROR_INVALID_DATATYPE for a value that is no string, or
// ERROR_NOT_ENOUGH_MEMORY; `value` is cleared on failure. `type`, when
// given, receives the value's type on success.
Status ReadRegistryString(Platform& platform, RegKey key, const WideChar* valueName,
                          HeapText& value, std::uint32_t* type = nullptr);

}  // namespace setup

#endif  // SETUP_PLATFORM_REGISTRY_H
