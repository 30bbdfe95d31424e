// The one writer of registry strings.
#ifndef SETUP_TRANSFORMS_REGISTRY_WRITER_H
#define SETUP_TRANSFORMS_REGISTRY_WRITER_H

#include "platform/platform.h"

namespace setup {

// Opens `subKey` under HKEY_CLASSES_ROOT for changing and sets `valueName`
// to the UTF-16 `value` as `type` (REG_SZ or REG_EXPAND_SZ), terminator
// included, unit for unit.
// Returns the open's status when it fails, the write's when that fails (the
// key is closed all the same), else the close's.
Status WriteClassesRootString(Platform& platform, const WideChar* subKey, const WideChar* valueName,
                              const WideChar* value, std::uint32_t type = REG_SZ);

}  // namespace setup

#endif  // SETUP_TRANSFORMS_REGISTRY_WRITER_H
