// What only the block kernel and its tests use: the first stage on its own,
// and the polynomials that stand in for the per-sample path's sines.
#pragma once

#include <cstdint>

#include "engine/pan_block_kernel.h"

namespace drifton {

// Stages 1 to 3 alone: the filter inputs x of frames first .. first + count - 1
// of a block, through a supported path.
void computePanTargets(KernelPath path, const BlockSettings& settings, std::int32_t first,
                       std::int32_t count, float* x);

// a * b + c, rounded once when Fused (a fused multiply-add instruction).
template <bool Fused>
[[gnu::always_inline]] inline double multiplyAdd(double a, double b, double c) {
    if constexpr (Fused) {
        return __builtin_fma(a, b, c);
    } else {
        return a * b + c;
    }
}

template <bool Fused>
[[gnu::always_inline]] inline float multiplyAdd(float a, float b, float c) {
    if constexpr (Fused) {
        return __builtin_fmaf(a, b, c);
    } else {
        return a * b + c;
    }
}

// The polynomial with float coefficients `highest` .. `rest` (highest power
// first) at x, by Horner's rule: one multiplyAdd a coefficient after the
// first, on a float or a vector of floats.
template <class T, class MultiplyAdd, class... Rest>
[[gnu::always_inline]] inline T horner(T x, MultiplyAdd multiplyAdd, float highest, Rest... rest) {
    T p = T{} + highest;
    ((p = multiplyAdd(x, p, T{} + rest)), ...);
    return p;
}

// The smoothed pan position stays within -0.083 .. 1.083: its inputs lie in
// 0..1, and the filter's impulse response sums to 1.083 over its positive
// terms and -0.083 over its negative ones (pinned by a test).
inline constexpr float kPanReach = 1.1f;

// The channel gains with the output gain folded in: sqrt(2) sin(s pi/2) and
// sqrt(2) cos(s pi/2) for |s| <= kPanReach, in float. Near-minimax
// polynomials (odd of degree 9, even of degree 10) within 1.3e-8 and 1e-9 of
// the functions with float coefficients; evaluated in float they stay within
// 4e-7 (about three float steps of sqrt(2)), fused or not, and with
// a library fmaf that rounds twice (MinGW).
// On a float or a vector of floats, with multiplyAdd(a, b, c) = a * b + c
// (fused or not).
template <class T, class MultiplyAdd>
[[gnu::always_inline]] inline T rightGain(T s, MultiplyAdd multiplyAdd) {
    return s * horner(s * s, multiplyAdd, 2.105324384e-04f, -6.601432804e-03f, 1.126921028e-01f,
                      -9.135289788e-01f, 2.221441269e+00f);
}

template <class T, class MultiplyAdd>
[[gnu::always_inline]] inline T leftGain(T s, MultiplyAdd multiplyAdd) {
    return horner(s * s, multiplyAdd, -3.329715037e-05f, 1.296874019e-03f, -2.950344793e-02f,
                  3.587422967e-01f, -1.744716048e+00f, 1.414213538e+00f);
}

// sin(r * pi / 2) for r in 0..1 (the triangle's rise), in float, on a float
// or a vector of floats, with multiplyAdd(a, b, c) = a * b + c (fused or
// not): an odd polynomial of degree 9 (a Chebyshev fit over -1..1), written
// r + r * p(r^2) so that the leading term r is exact and only the smaller
// rest p carries rounding. Evaluated in float, within 1.2e-7 (two float
// steps below 1) of the per-sample path's sinf(float(r * pi/2)), fused or
// not.
template <class T, class MultiplyAdd>
[[gnu::always_inline]] inline T halfPiSineOfRise(T r, MultiplyAdd multiplyAdd) {
    const T p = horner(r * r, multiplyAdd, 1.508171554e-04f, -4.672220442e-03f, 7.968847454e-02f,
                       -6.459633708e-01f, 5.707963109e-01f);  // the last: pi / 2 - 1
    return multiplyAdd(r, p, r);
}

}  // namespace drifton
