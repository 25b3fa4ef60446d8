// Flush-to-zero and denormals-are-zero for the length of a processing call:
// subnormal results become zero and subnormal inputs read as zero, so a
// decaying filter neither slows down nor hands subnormals to the host. The
// caller's mode (rounding, masks, flush bits) comes back when the guard goes
// out of scope.
#pragma once

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>

class FloatModeGuard {
public:
    FloatModeGuard() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushBits); }
    ~FloatModeGuard() { _mm_setcsr(saved_); }

    FloatModeGuard(const FloatModeGuard&) = delete;
    FloatModeGuard& operator=(const FloatModeGuard&) = delete;

private:
    static constexpr unsigned int kFlushToZero = 0x8000u;
    static constexpr unsigned int kDenormalsAreZero = 0x0040u;
    static constexpr unsigned int kFlushBits = kFlushToZero | kDenormalsAreZero;
    unsigned int saved_;
};

#else

// No portable control of the mode elsewhere: the guard does nothing.
class FloatModeGuard {
public:
    FloatModeGuard() noexcept {}
    FloatModeGuard(const FloatModeGuard&) = delete;
    FloatModeGuard& operator=(const FloatModeGuard&) = delete;
};

#endif
