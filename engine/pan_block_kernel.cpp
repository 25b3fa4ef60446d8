// The block kernel's dispatch: its paths, one per instruction set, and the
// choice between them. The stages themselves are in pan_kernel_stages.h: the
// per-sample loop (pan_sample_loop.h) reorganised so that each step runs over
// many samples at once. A block is cut into chunks of kChunk frames; each
// chunk passes through these stages, over small buffers on the stack:
//
//   stage                scalar step it reproduces    agreement          pinned by
//   1 positionsInCycle   positionInCycle, and the     bit-exact          PanTargetsAreThose-
//                        q / h of phaseAt                                OfThePerSampleSteps
//   2 shapeValues        phaseAt, shapeValue,         bit-exact; the     same test;
//   3                    panTarget                    sine within        ShapeSineIsWithin...
//                                                     1.2e-7
//   4 filterInputs,      SmoothingFilter::step, in    within 1e-15       EveryPathMatchesThe-
//     GroupRecursion     double, a group at a time    of exact           Model... tests
//   5 applyPanGains      panGain, outputGain          within 5e-7        same tests;
//                        (float polynomials)                             GainPolynomials...
//
// The paths (kKernels below, slowest first), each its own translation unit
// compiled for its instruction set, and how each runs the stages:
//
//   path      unit                     stage 1 (remainder)   2, 3      4 (group)      5
//   baseline  pan_kernel_baseline.cpp  float for cycles of   4 floats  4 outputs,     4 floats
//                                      2^k, else double;               2 doubles,
//                                      floor by integer                float inputs
//   avx2+fma  pan_kernel_avx2.cpp      the same; floor in    8 floats, 8 outputs,     8 floats,
//            (-mavx2 -mfma)            one instruction       fused     4 doubles,     fused
//                                                                      double inputs,
//                                                                      fused
//   neon      pan_kernel_neon.cpp      the same; floor in    4 floats, 4 outputs,     4 floats,
//            (AArch64 only)           one instruction       fused     2 doubles,     fused
//                                                                      double inputs,
//                                                                      fused
//
// A path is chosen only by the CPU it runs on (fastestKernelPath); tests and
// benchmarks name one. The per-sample loop takes blocks whose song positions
// reach kBlockPositionLimit (2^24 beats), where stage 1's exact remainder ends.
#include "engine/pan_block_kernel.h"

#include "pan_kernel_internal.h"
#include "pan_kernel_paths.h"

namespace drifton {

namespace {

bool baselineSupported() { return true; }

#if DRIFTON_KERNEL_NEON
// Advanced SIMD is part of every AArch64 CPU.
bool neonSupported() { return true; }
#endif

#if DRIFTON_KERNEL_AVX2
bool avx2FmaSupported() {
    // Also false where the operating system does not save the AVX registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
#endif

// The kernel's paths, slowest first.
struct KernelEntry {
    KernelPath path;
    const char* name;
    bool (*supported)();
    void (*process)(SmoothingFilter&, const BlockSettings&, const StereoBlock&);
    void (*panTargets)(const BlockSettings&, std::int32_t, std::int32_t, float*);
};

constexpr KernelEntry kKernels[] = {
    {KernelPath::kBaseline, "baseline", baselineSupported, kernel::processBaseline,
     kernel::panTargetsBaseline},
#if DRIFTON_KERNEL_AVX2
    {KernelPath::kAvx2Fma, "avx2+fma", avx2FmaSupported, kernel::processAvx2Fma,
     kernel::panTargetsAvx2Fma},
#endif
#if DRIFTON_KERNEL_NEON
    {KernelPath::kNeon, "neon", neonSupported, kernel::processNeon, kernel::panTargetsNeon},
#endif
};

// The entry of a path; the baseline's for a path not built here.
const KernelEntry& entryOf(KernelPath path) {
    for (const KernelEntry& entry : kKernels) {
        if (entry.path == path) {
            return entry;
        }
    }
    return kKernels[0];
}

KernelPath chooseFastest() {
    // The last supported entry: the table lists the paths slowest first.
    KernelPath fastest = KernelPath::kBaseline;
    for (const KernelEntry& entry : kKernels) {
        if (entry.supported()) {
            fastest = entry.path;
        }
    }
    return fastest;
}

}  // namespace

bool kernelPathSupported(KernelPath path) {
    const KernelEntry& entry = entryOf(path);
    return entry.path == path && entry.supported();
}

KernelPath fastestKernelPath() {
    static const KernelPath fastest = chooseFastest();
    return fastest;
}

namespace {
// Decided when the library is loaded, so that no instance waits for it.
[[maybe_unused]] const KernelPath fastestAtLoad = fastestKernelPath();
}  // namespace

const char* kernelPathName(KernelPath path) {
    const KernelEntry& entry = entryOf(path);
    return entry.path == path ? entry.name : "not built";
}

void processPanBlock(KernelPath path, SmoothingFilter& filter, const BlockSettings& settings,
                     const StereoBlock& block) {
    entryOf(path).process(filter, settings, block);
}

void computePanTargets(KernelPath path, const BlockSettings& settings, std::int32_t first,
                       std::int32_t count, float* x) {
    entryOf(path).panTargets(settings, first, count, x);
}

}  // namespace drifton
