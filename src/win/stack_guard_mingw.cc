// The stack protector's runtime for the MinGW-w64 build: the canary,
// seeded from rand_s before main, and the failure routines, which end the
// process with the stack-cookie fail-fast. Newer MinGW-w64 runtimes provide
// exactly this themselves; this file stands in for it until the toolchain
// here does, and may go then. The toolchain's own today is GCC's libssp,
// which seeds the canary through advapi32's CryptGenRandom, a DLL more in
// the executable's imports.
//
// libssp.a defines the same names, so this file is a source of the
// executable, not of a library: the executable's objects are all linked
// before any library is searched, so libssp's definitions are never needed
// and never taken, whatever the order of the libraries. The checked copies
// that _FORTIFY_SOURCE calls (__memcpy_chk and the like) still come from
// libssp.a and report their failures here.

// The names are the compiler's and the C runtime's.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#define _CRT_RAND_S  // declares rand_s
#include <windows.h>

#include <cstdint>
#include <cstdlib>

extern "C" {

// Copied into every protected frame on entry and compared on return; as
// wide as a pointer. The value here stands only until the constructor
// below replaces it.
std::uintptr_t __stack_chk_guard = 0x2B992DDF;

[[noreturn]] void __stack_chk_fail();
[[noreturn]] void __chk_fail();

}  // extern "C"

namespace {

[[noreturn]] void StopOverrun() {
  // As Visual C++'s /GS does: end the process at once, with the status
  // Windows reports for an overrun, running nothing (no handlers, no atexit
  // functions) that the damaged stack could steer.
  if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE) != FALSE) {
    __asm__ __volatile__("int $0x29"
                         :
                         : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE));
  }
  TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  __builtin_trap();
}

// Runs from the start-up code before main, so no protected frame is open
// yet; unprotected itself, as it changes the value it would be checked by.
__attribute__((constructor, no_stack_protector)) void SeedGuard() {
  unsigned int low = 0;
  unsigned int high = 0;
  // rand_s asks the system's random generator; should it ever fail, the
  // clock and the process and thread ids still make the canary differ from
  // run to run.
  if (rand_s(&low) != 0 || rand_s(&high) != 0) {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    low ^= now.LowPart ^ GetCurrentProcessId();
    high ^= static_cast<unsigned int>(now.HighPart) ^ GetCurrentThreadId();
  }
  const std::uint64_t guard = (std::uint64_t{high} << 32U) | low;
  __stack_chk_guard = static_cast<std::uintptr_t>(guard);
}

}  // namespace

extern "C" void __stack_chk_fail() { StopOverrun(); }

extern "C" void __chk_fail() { StopOverrun(); }
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
