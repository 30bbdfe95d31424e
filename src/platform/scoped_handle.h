// One owner per platform handle: closed through the platform when the
// owner's scope ends, on every path.
#ifndef SETUP_PLATFORM_SCOPED_HANDLE_H
#define SETUP_PLATFORM_SCOPED_HANDLE_H

#include "platform/platform.h"

namespace setup {

// `Traits` names the handle type, its "no handle" value and how to close it.
template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  explicit ScopedHandle(Platform& platform, Handle handle = Traits::kNone)
      : platform_(platform), handle_(handle) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool valid() const { return handle_ != Traits::kNone; }
  Handle get() const { return handle_; }

  // Takes ownership of a handle that was opened successfully.
  void adopt(Handle handle) {
    reset();
    handle_ = handle;
  }

  // Closes now; returns the platform's close status (0 when nothing was
  // held), for the callers that report it.
  Status reset() {
    if (!valid()) return ERROR_SUCCESS;
    const Status status = Traits::Close(platform_, handle_);
    handle_ = Traits::kNone;
    return status;
  }

 private:
  Platform& platform_;
  Handle handle_;
};

struct RegKeyTraits {
  using Handle = RegKey;
  static constexpr Handle kNone = RegKey{0};
  static Status Close(Platform& platform, Handle key) { return platform.RegCloseKey(key); }
};

// Closes of the handle kinds below report only true or false; a failed
// close has nothing the launcher could do about it.
struct ServiceHandleTraits {
  using Handle = ServiceHandle;
  static constexpr Handle kNone = NO_SERVICE_HANDLE;
  static Status Close(Platform& platform, Handle handle) {
    return platform.CloseServiceHandle(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }
};

struct FindHandleTraits {
  using Handle = FindHandle;
  static constexpr Handle kNone = INVALID_FIND_HANDLE;
  static Status Close(Platform& platform, Handle handle) {
    return platform.FindClose(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }
};

struct KernelHandleTraits {
  using Handle = KernelHandle;
  static constexpr Handle kNone = NO_KERNEL_HANDLE;
  static Status Close(Platform& platform, Handle handle) {
    return platform.CloseHandle(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }
};

using ScopedRegKey = ScopedHandle<RegKeyTraits>;
using ScopedServiceHandle = ScopedHandle<ServiceHandleTraits>;
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;

}  // namespace setup

#endif  // SETUP_PLATFORM_SCOPED_HANDLE_H
