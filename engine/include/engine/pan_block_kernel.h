// The audio path a block at a time: pan targets, smoothing filter and channel
// gains each in a loop of its own that handles several samples per
// instruction. The kernel is built for the baseline instruction set and, on
// x86-64, for CPUs with AVX2 and FMA, on AArch64 for Advanced SIMD with fused
// multiply-add (every AArch64 CPU has them); the fastest one the CPU supports
// is chosen once, when the library is loaded. No host types.
#pragma once

#include <cstdint>

#include "engine/smoothing_filter.h"

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

// The kernel's builds, slowest first: the baseline instruction set; on
// x86-64 AVX2 with FMA; on AArch64 Advanced SIMD (NEON) with FMA.
enum class KernelPath { kBaseline, kAvx2Fma, kNeon };

// Every path of any build, for tests and benchmarks that try each supported one.
inline constexpr KernelPath kKernelPaths[] = {KernelPath::kBaseline, KernelPath::kAvx2Fma,
                                              KernelPath::kNeon};

// The baseline everywhere; AVX2+FMA where the CPU and operating system have
// it; NEON on every AArch64 CPU.
bool kernelPathSupported(KernelPath path);
// The fastest supported path, decided once when the library is loaded. The
// product processes with it; tests and benchmarks name a path themselves.
KernelPath fastestKernelPath();
const char* kernelPathName(KernelPath path);

// One block through `path`, which must be supported. Needs frames > 0 and
// start + frames * beatsPerSample < kBlockPositionLimit. Reads and updates
// the filter history.
void processPanBlock(KernelPath path, SmoothingFilter& filter, const BlockSettings& settings,
                     const StereoBlock& block);

}  // namespace drifton
