// Flush-to-zero and denormals-are-zero for the length of an audio block:
// subnormal results become zero and subnormal inputs read as zero, so a
// decaying filter neither slows down nor hands subnormals to the host. The
// caller's mode comes back when the guard goes out of scope.
#pragma once

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>

class DenormalGuard {
public:
    DenormalGuard() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushBits); }
    ~DenormalGuard() { _mm_setcsr(saved_); }

    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    static constexpr unsigned int kFlushToZero = 0x8000u;
    static constexpr unsigned int kDenormalsAreZero = 0x0040u;
    static constexpr unsigned int kFlushBits = kFlushToZero | kDenormalsAreZero;
    unsigned int saved_;
};

#else

// No portable control of the mode elsewhere: the guard does nothing.
class DenormalGuard {
public:
    DenormalGuard() noexcept {}
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;
};

#endif
