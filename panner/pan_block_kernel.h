// The audio path a block at a time: pan targets, smoothing filter and channel
// gains each in a loop of its own that handles several samples per
// instruction. On x86-64 the kernel is built twice, for the baseline
// instruction set and for CPUs with AVX2 and FMA; the faster one the CPU
// supports is chosen once, when the library is loaded. No host types.
#pragma once

#include <cstdint>

#include "panner/smoothing_filter.h"

namespace drifton {

// One block's oscillator and output gain, read once at the block's start.
struct BlockSettings {
    double start = 0.0;           // song position of the first frame in beats, >= 0
    double beatsPerSample = 0.0;  // >= 0
    float halfCycle = 1.0f;       // h, in beats
    float cycle = 2.0f;           // H = 2h, in beats
    float phaseShift = 0.0f;      // -1..1 half-cycles
    float width = 0.0f;           // 0..1
    std::int32_t waveShape = 0;   // WaveShape; any other value holds the centre
};

// The two channels of one block. Each output may be the buffer of its own
// input (in place); otherwise outputs and inputs must not overlap.
struct StereoBlock {
    const float* inLeft;
    const float* inRight;
    float* outLeft;
    float* outRight;
    std::int32_t frames;
};

// Blocks whose positions reach this many beats go through the per-sample
// loop instead: below it the kernel's remainder of the position by the cycle
// is exact (see pan_block_kernel.cpp).
inline constexpr double kBlockPositionLimit = 16777216.0;

enum class KernelPath { kBaseline, kAvx2Fma };

// The baseline everywhere; AVX2+FMA where the CPU and operating system have it.
bool kernelPathSupported(KernelPath path);

// The path processPanBlock runs: AVX2+FMA where supported, unless the
// environment variable DRIFTON_FORCE_BASELINE holds anything but "" or "0"
// when the library is loaded. Decided once.
KernelPath selectedKernelPath();
const char* kernelPathName(KernelPath path);

// One block through the selected path. Needs frames > 0 and
// start + frames * beatsPerSample < kBlockPositionLimit. Reads and updates
// the filter history.
void processPanBlock(SmoothingFilter& filter, const BlockSettings& settings,
                     const StereoBlock& block);

// The same through a given path, which must be supported (tests, benchmarks).
void processPanBlockWith(KernelPath path, SmoothingFilter& filter, const BlockSettings& settings,
                         const StereoBlock& block);

// The first stage alone, for tests: the filter inputs x of frames
// first .. first + count - 1 of a block, through a given supported path.
void computePanTargets(KernelPath path, const BlockSettings& settings, std::int32_t first,
                       std::int32_t count, float* x);

// sin(s * pi / 2) and cos(s * pi / 2) for |s| <= 1.3, in double: minimax
// polynomials (odd of degree 13, even of degree 14) within 1.5e-11 and 7e-13
// of the functions. Rounded to float they give the correctly rounded value
// except within that distance of a rounding tie. Fused selects fused
// multiply-adds.
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
