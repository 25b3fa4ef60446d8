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
template <bool Fused>
[[gnu::always_inline]] inline float rightGain(float s) {
    const float s2 = s * s;
    float p = multiplyAdd<Fused>(s2, 2.105324384e-04f, -6.601432804e-03f);
    p = multiplyAdd<Fused>(s2, p, 1.126921028e-01f);
    p = multiplyAdd<Fused>(s2, p, -9.135289788e-01f);
    p = multiplyAdd<Fused>(s2, p, 2.221441269e+00f);
    return s * p;
}

template <bool Fused>
[[gnu::always_inline]] inline float leftGain(float s) {
    const float s2 = s * s;
    float p = multiplyAdd<Fused>(s2, -3.329715037e-05f, 1.296874019e-03f);
    p = multiplyAdd<Fused>(s2, p, -2.950344793e-02f);
    p = multiplyAdd<Fused>(s2, p, 3.587422967e-01f);
    p = multiplyAdd<Fused>(s2, p, -1.744716048e+00f);
    return multiplyAdd<Fused>(s2, p, 1.414213538e+00f);
}

// sin(r * pi / 2) for r in 0..1 (the triangle's rise), in float, on a float
// or a vector of floats, with multiplyAdd(a, b, c) = a * b + c (fused or
// not). Below r = 0.5 an odd polynomial of degree 7; from there
// cos(u * pi / 2) with u = 1 - r (exact, Sterbenz), an even polynomial of
// degree 8, so that neither sums terms much larger than its result. Within
// 1e-9 of the functions with float coefficients (Chebyshev fits on
// 0..0.5); evaluated in float, within 1.2e-7 of the per-sample path's
// sinf(float(r * pi/2)), fused or not.
template <class T, class MultiplyAdd>
[[gnu::always_inline]] inline T halfPiSineOfRise(T r, MultiplyAdd multiplyAdd) {
    const auto all = [](float c) { return T{} + c; };
    const T r2 = r * r;
    T p = multiplyAdd(r2, all(-4.592275247e-03f), all(7.967589796e-02f));
    p = multiplyAdd(r2, p, all(-6.459629536e-01f));
    p = multiplyAdd(r2, p, all(1.570796251e+00f));
    const T sine = r * p;
    const T u = 1.0f - r;
    const T u2 = u * u;
    T q = multiplyAdd(u2, all(9.036298725e-04f), all(-2.086007036e-02f));
    q = multiplyAdd(u2, q, all(2.536692023e-01f));
    q = multiplyAdd(u2, q, all(-1.233700514e+00f));
    const T cosine = multiplyAdd(u2, q, all(1.0f));
    return r < 0.5f ? sine : cosine;
}

}  // namespace drifton
