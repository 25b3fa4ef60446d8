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
