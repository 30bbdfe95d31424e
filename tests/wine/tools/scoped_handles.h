// Owners for the two kinds of Windows handle the test tools hold, so that
// every path out of a function closes them.
#ifndef SETUP_TESTS_WINE_TOOLS_SCOPED_HANDLES_H
#define SETUP_TESTS_WINE_TOOLS_SCOPED_HANDLES_H

#include <windows.h>

namespace wine_tools {

// Owns a kernel handle (file, process, thread) and closes it on destruction.
// Both "no handle" values, null and INVALID_HANDLE_VALUE, are left alone.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (valid()) CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  // True when a handle is held.
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  // The held handle, still owned by this object.
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Owns an open registry key and closes it on destruction.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  // Where RegOpenKeyExW stores the key; call only while no key is held.
  HKEY* receive() { return &key_; }
  // The held key (null when none), still owned by this object.
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Owns a security descriptor from ConvertStringSecurityDescriptorToSecurityDescriptorW.
class ScopedSecurityDescriptor {
 public:
  ScopedSecurityDescriptor() = default;
  ~ScopedSecurityDescriptor() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
  }
  ScopedSecurityDescriptor(const ScopedSecurityDescriptor&) = delete;
  ScopedSecurityDescriptor& operator=(const ScopedSecurityDescriptor&) = delete;

  PSECURITY_DESCRIPTOR* receive() { return &descriptor_; }
  PSECURITY_DESCRIPTOR get() const { return descriptor_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

}  // namespace wine_tools

#endif  // SETUP_TESTS_WINE_TOOLS_SCOPED_HANDLES_H
