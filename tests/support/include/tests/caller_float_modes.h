// Floating-point modes a host may call the plug-in in, as values of the
// control register (MXCSR on x86-64, FPCR on AArch64): the default, the
// flush modes already on, and rounding toward zero (with the sticky flags
// raised on x86-64). Tests set each, call in, and compare what comes back.
#pragma once

#include "floatmode/float_mode_guard.h"

namespace pantest {

// And the bits that must be set inside every processing call.
#if defined(__x86_64__)
#define DRIFTON_FLOAT_MODE_CONTROLLED 1
inline constexpr floatmode::Control kCallerFloatModes[] = {0x1F80u, 0x9FC0u, 0x7FBFu};
inline constexpr floatmode::Control kFlushInside = 0x8040u;  // FTZ, DAZ
#elif defined(__aarch64__)
#define DRIFTON_FLOAT_MODE_CONTROLLED 1
// FZ and DN (bits 24, 25); RMode 3 (bits 22, 23).
inline constexpr floatmode::Control kCallerFloatModes[] = {0x0u, 0x3000000u, 0xC00000u};
inline constexpr floatmode::Control kFlushInside = 0x1000000u;  // FZ
#else
#define DRIFTON_FLOAT_MODE_CONTROLLED 0
#endif

}  // namespace pantest
