// The stack protector's guard and failure routine, provided here instead of
// by the compiler's libssp.
//
// libssp seeds its guard with the platform's random-number call, which makes
// Setup.exe import advapi32.dll statically; with that import the loader
// resolves a planted DLL from the patch folder before the launcher's first
// line can lock the DLL search path. These two functions need kernel32 only.
#ifndef SETUP_PLATFORM_WIN32_STACK_GUARD_H
#define SETUP_PLATFORM_WIN32_STACK_GUARD_H

// SETUP_NO_STACK_PROTECTOR: a function without a guard check of its own, one
// whose frame is entered before the guard is seeded or that seeds it.
// SETUP_OWN_PROTECTED_FRAME: a protected function that such a function
// calls; kept out of line, where inlined its locals would lose their check.
#if defined(_MSC_VER)
#define SETUP_NO_STACK_PROTECTOR __declspec(safebuffers) __declspec(noinline)
#define SETUP_OWN_PROTECTED_FRAME __declspec(noinline)
#elif defined(__GNUC__)
#define SETUP_NO_STACK_PROTECTOR __attribute__((no_stack_protector, noinline))
#define SETUP_OWN_PROTECTED_FRAME __attribute__((noinline))
#else
#define SETUP_NO_STACK_PROTECTOR
#define SETUP_OWN_PROTECTED_FRAME
#endif

namespace setup {

// Replaces the guard's fixed start value by one mixed from the system time,
// the process and thread ids, the tick count, the performance counter and
// the address of a stack variable, as the platform's own compiler seeds its
// cookie. Loads no DLL and takes a few microseconds.
//
// Called once, first thing in the launcher's entry (SetupEntry), before any
// protected function has been entered: a protected frame that is live across
// the call would compare its saved copy of the old value against the new one
// on return. The entry itself must therefore be SETUP_NO_STACK_PROTECTOR.
void SeedStackGuard();

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_STACK_GUARD_H
