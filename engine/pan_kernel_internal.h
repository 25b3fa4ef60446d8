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

// sin(s * pi / 2) and cos(s * pi / 2) for |s| <= 1.3, in double: minimax
// polynomials (odd of degree 13, even of degree 14) within 1.5e-11 and 7e-13
// of the functions. Rounded to float they give the correctly rounded value
// except within that distance of a rounding tie.
template <bool Fused>
[[gnu::always_inline]] inline double halfPiSine(double s) {
    const double s2 = s * s;
    double p = multiplyAdd<Fused>(s2, 5.3493143754188915855e-8, -3.5920936188991780728e-6);
    p = multiplyAdd<Fused>(s2, p, 0.00016043498384260553368);
    p = multiplyAdd<Fused>(s2, p, -0.0046817515026754209253);
    p = multiplyAdd<Fused>(s2, p, 0.079692625804551819501);
    p = multiplyAdd<Fused>(s2, p, -0.64596409748676822581);
    p = multiplyAdd<Fused>(s2, p, 1.5707963267948233095);
    return s * p;
}

template <bool Fused>
[[gnu::always_inline]] inline double halfPiCosine(double s) {
    const double s2 = s * s;
    double p = multiplyAdd<Fused>(s2, -6.009608303466462607e-9, 4.7022639688661594399e-7);
    p = multiplyAdd<Fused>(s2, p, -0.000025201071377653969675);
    p = multiplyAdd<Fused>(s2, p, 0.00091925971800861504302);
    p = multiplyAdd<Fused>(s2, p, -0.020863480612347805321);
    p = multiplyAdd<Fused>(s2, p, 0.25366950788520055047);
    p = multiplyAdd<Fused>(s2, p, -1.2337005501357689223);
    return multiplyAdd<Fused>(s2, p, 0.99999999999999955566);
}

}  // namespace drifton
