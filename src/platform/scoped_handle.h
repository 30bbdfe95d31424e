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

// Closes of the other handle kinds report only true or false; a failed
// close has nothing the launcher could do about it.
template <typename HandleType, HandleType kNoHandle, bool (Platform::*kClose)(HandleType)>
struct BoolClosedHandleTraits {
  using Handle = HandleType;
  static constexpr Handle kNone = kNoHandle;
  static Status Close(Platform& platform, Handle handle) {
    return (platform.*kClose)(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }
};

using ScopedRegKey = ScopedHandle<RegKeyTraits>;
using ScopedServiceHandle = ScopedHandle<
    BoolClosedHandleTraits<ServiceHandle, NO_SERVICE_HANDLE, &Platform::CloseServiceHandle>>;
using ScopedFindHandle =
    ScopedHandle<BoolClosedHandleTraits<FindHandle, INVALID_FIND_HANDLE, &Platform::FindClose>>;
using ScopedKernelHandle =
    ScopedHandle<BoolClosedHandleTraits<KernelHandle, NO_KERNEL_HANDLE, &Platform::CloseHandle>>;

}  // namespace setup

#endif  // SETUP_PLATFORM_SCOPED_HANDLE_H
