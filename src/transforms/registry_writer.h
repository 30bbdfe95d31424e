// The one writer of registry strings.
#ifndef SETUP_TRANSFORMS_REGISTRY_WRITER_H
#define SETUP_TRANSFORMS_REGISTRY_WRITER_H

#include <cstdint>

#include "platform/platform.h"
#include "platform/registry.h"

namespace setup {

// Opens `subKey` under HKEY_CLASSES_ROOT for changing and sets `valueName`
// to the `size` bytes at `data` as `type`, exactly as given.
// Returns the open's status when it fails, the write's when that fails (the
// key is closed all the same), else the close's.
Status WriteClassesRootBytes(Platform& platform, const WideChar* subKey, const WideChar* valueName,
                             std::uint32_t type, const std::uint8_t* data, std::uint32_t size);

// The same for the UTF-16 `value` as `type` (REG_SZ or REG_EXPAND_SZ),
// terminator included, unit for unit.
Status WriteClassesRootString(Platform& platform, const WideChar* subKey, const WideChar* valueName,
                              const WideChar* value, std::uint32_t type = REG_SZ);

// The same for a value as it was read, byte for byte with its type.
Status WriteClassesRootStored(Platform& platform, const WideChar* subKey, const WideChar* valueName,
                              const StoredString& value);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_REGISTRY_WRITER_H
