#include "transforms/registry_writer.h"

#include "platform/bounded_text.h"

namespace setup {

Status WriteClassesRootBytes(Platform& platform, const WideChar* subKey, const WideChar* valueName,
                             std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  ScopedRegKey key(platform);
  const Status opened = OpenClassesRootKey(platform, subKey, KEY_READ_WRITE, key);
  if (opened != ERROR_SUCCESS) return opened;
  // A write that failed is reported: callers delete the journal only after
  // the product's own value is safely back.
  const Status written = platform.RegSetValueExW(key.get(), valueName, type, data, size);
  const Status closed = key.reset();
  return written != ERROR_SUCCESS ? written : closed;
}

Status WriteClassesRootString(Platform& platform, const WideChar* subKey, const WideChar* valueName,
                              const WideChar* value, std::uint32_t type) {
  const auto size = static_cast<std::uint32_t>((TextLength(value) + 1) * sizeof(WideChar));
  return WriteClassesRootBytes(platform, subKey, valueName, type,
                               reinterpret_cast<const std::uint8_t*>(value), size);
}

Status WriteClassesRootStored(Platform& platform, const WideChar* subKey, const WideChar* valueName,
                              const StoredString& value) {
  return WriteClassesRootBytes(platform, subKey, valueName, value.type, value.bytes(),
                               value.byteCount);
}

}  // namespace setup
