// The stack protector's runtime for the MinGW-w64 build, in place of the
// one in GCC's ssp library: that one seeds the canary with advapi32's
// CryptGenRandom, which would add a DLL to the executable's imports. The
// checked copies that _FORTIFY_SOURCE calls (__memcpy_chk and the like)
// still come from the ssp library and report their failures here.
//
// It sits in the core library, so the linker takes it only when compiled
// code asks for the canary.

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
