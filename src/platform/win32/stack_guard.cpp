#include "platform/win32/stack_guard.h"

#include <windows.h>

#include <cstdint>

#if defined(__GNUC__) && !defined(_MSC_VER)

namespace {

// The guard before seeding: never zero, so that a check made before
// SeedStackGuard (by a static constructor) still means something.
constexpr std::uintptr_t kUnseededGuard = 0x5E7C0A6BU;

}  // namespace

// What -fstack-protector-strong code compares its frames' copies against.
// Defining it here keeps the linker from taking libssp's.
extern "C" {
std::uintptr_t __stack_chk_guard = kUnseededGuard;
}

// Called by a protected function whose copy no longer matches: its frame has
// been overwritten, return addresses included. Ends the process at once,
// without running handlers, filters, atexit functions or anything else that
// the overwritten stack might steer.
extern "C" [[noreturn]] SETUP_NO_STACK_PROTECTOR void __stack_chk_fail() {
  // Where the system offers it (Windows 8 on), a fast fail ends the process
  // in the kernel, never through the exception handlers on the stack.
  if (::IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
    __asm__ __volatile__("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
  }
  ::TerminateProcess(::GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  __builtin_trap();
}

namespace setup {

SETUP_NO_STACK_PROTECTOR void SeedStackGuard() {
  FILETIME systemTime = {};
  ::GetSystemTimeAsFileTime(&systemTime);
  std::uintptr_t guard = systemTime.dwLowDateTime ^ systemTime.dwHighDateTime;
  guard ^= ::GetCurrentThreadId();
  guard ^= ::GetCurrentProcessId();
  guard ^= ::GetTickCount();
  LARGE_INTEGER counter = {};
  ::QueryPerformanceCounter(&counter);
  guard ^= counter.LowPart ^ static_cast<std::uintptr_t>(counter.HighPart);
  // Where the stack lies differs from run to run with address randomisation.
  guard ^= reinterpret_cast<std::uintptr_t>(&guard);
  if (guard == 0 || guard == kUnseededGuard) guard = ~kUnseededGuard;
  __stack_chk_guard = guard;
}

}  // namespace setup

#else

namespace setup {

// Other compilers bring a seeded cookie of their own.
void SeedStackGuard() {}

}  // namespace setup

#endif
