#include "transforms/registry_writer.h"

#include "platform/bounded_text.h"
#include "platform/registry.h"

namespace setup {

Status WriteClassesRootString(Platform& platform, const WideChar* subKey, const WideChar* valueName,
                              const WideChar* value, std::uint32_t type) {
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, subKey, KEY_READ_WRITE, key);
  if (opened != ERROR_SUCCESS) return opened;
  const auto size = static_cast<std::uint32_t>((TextLength(value) + 1) * sizeof(WideChar));
  // A write that failed is reported: callers delete the journal only after
  // the product's own value is safely back.
  const Status written = platform.RegSetValueExW(
      key.get(), valueName, type, reinterpret_cast<const std::uint8_t*>(value), size);
  const Status closed = key.reset();
  return written != ERROR_SUCCESS ? written : closed;
}

}  // namespace setup
