// Flush-to-zero (and, on x86-64, denormals-are-zero) for the length of a
// processing call: subnormal results become zero and subnormal inputs read as
// zero, so a decaying filter neither slows down nor hands subnormals to the
// host. The caller's mode (rounding, masks, flush bits) comes back when the
// guard goes out of scope.
//
// The control register is MXCSR on x86-64 and FPCR on AArch64, whose FZ bit
// flushes both inputs and results of single and double precision.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace floatmode {

#if defined(__x86_64__) || defined(_M_X64)

inline constexpr bool kControlled = true;
using Control = unsigned int;
// Flush-to-zero (bit 15) and denormals-are-zero (bit 6).
inline constexpr Control kFlushBits = 0x8040u;
// Everything but the six sticky exception flags, which any arithmetic sets.
inline constexpr Control kModeBits = ~0x3Fu;

inline Control readControl() noexcept { return _mm_getcsr(); }
inline void writeControl(Control value) noexcept { _mm_setcsr(value); }

#elif defined(__aarch64__)

inline constexpr bool kControlled = true;
using Control = std::uint64_t;
// FZ (bit 24).
inline constexpr Control kFlushBits = Control{1} << 24;
// FPCR holds mode only; the exception flags live in FPSR.
inline constexpr Control kModeBits = ~Control{0};

inline Control readControl() noexcept {
    Control value = 0;
    asm volatile("mrs %0, fpcr" : "=r"(value));
    return value;
}
inline void writeControl(Control value) noexcept { asm volatile("msr fpcr, %0" : : "r"(value)); }

#else

// No known control register: the guard does nothing.
inline constexpr bool kControlled = false;
using Control = unsigned int;
inline constexpr Control kFlushBits = 0;
inline constexpr Control kModeBits = 0;
inline Control readControl() noexcept { return 0; }
inline void writeControl(Control) noexcept {}

#endif

}  // namespace floatmode

class FloatModeGuard {
public:
    FloatModeGuard() noexcept : saved_(floatmode::readControl()) {
        floatmode::writeControl(saved_ | floatmode::kFlushBits);
    }
    ~FloatModeGuard() { floatmode::writeControl(saved_); }

    FloatModeGuard(const FloatModeGuard&) = delete;
    FloatModeGuard& operator=(const FloatModeGuard&) = delete;

private:
    floatmode::Control saved_;
};
