// The block kernel: the per-sample loop (pan_sample_loop.h) reorganised so
// that each step runs over many samples at once. A block is cut into chunks
// of kChunk frames; each chunk passes through these stages, over small
// buffers on the stack:
//
//   stage                scalar step it reproduces    agreement          pinned by
//   1 positionsInCycle   positionInCycle, and the     bit-exact          PanTargetsAreThose-
//                        q / h of phaseAt                                OfThePerSampleSteps
//   2 shapeValues        phaseAt, shapeValue          bit-exact; the     same test
//                                                     sine within 1 ulp
//   3 panTargets         panTarget                    bit-exact          same test
//   4 filterNumerators   SmoothingFilter::step, in    within 1e-15       EveryPathMatchesThe-
//     filterRecursion    double, a group at a time    of exact           Model... tests
//   5 applyPanGains      panGain, outputGain          within 5e-7        same tests;
//                        (float polynomials)                             GainPolynomials...
//
// The per-sample loop takes blocks whose song positions reach
// kBlockPositionLimit (2^24 beats), where stage 1's exact remainder ends.
//
// This file is built with -ffp-contract=off, so a * b + c is never fused
// behind our back: the steps that must match the per-sample path round
// exactly as it does, and fused multiply-adds appear only where written
// (Fused). It is also built with -fno-trapping-math, which lets the compiler
// evaluate both sides of a choice such as `x < 0 ? x + c : x` and select;
// nothing here reads the floating-point exception flags.
#include "engine/pan_block_kernel.h"

#include <cmath>
#include <cstring>

#include "engine/pan_oscillator.h"
#include "pan_kernel_internal.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define DRIFTON_AVX2_PATH 1
#else
#define DRIFTON_AVX2_PATH 0
#endif

// Advanced SIMD, fused multiply-add and rounding to an integral value
// (frintm) are part of the base AArch64 instruction set: no target
// attribute and no detection are needed.
#if defined(__aarch64__) && defined(__GNUC__)
#define DRIFTON_NEON_PATH 1
#else
#define DRIFTON_NEON_PATH 0
#endif

namespace drifton {

namespace {

// Frames per pass over the scratch buffers: small enough for the first-level
// cache, large enough that the per-chunk overhead does not matter.
constexpr int kChunk = 256;
constexpr int kMaxGroup = BlockResponses::kMaxGroup;

// What differs between the builds of the kernel: fused multiply-adds, and
// how many filter outputs one step of the recursion computes (one vector of
// eight doubles is two AVX registers; four doubles are two SSE2 registers).
struct BaselineIsa {
    static constexpr bool kFused = false;
    static constexpr bool kRoundsInRegisters = false;  // floor is a call without SSE4.1
    static constexpr int kGroup = 4;
};
struct Avx2FmaIsa {
    static constexpr bool kFused = true;
    static constexpr bool kRoundsInRegisters = true;
    static constexpr int kGroup = 8;
};
#if DRIFTON_NEON_PATH
// Four doubles are two of NEON's 128-bit registers: the group matrix's four
// columns and two history responses take 12 of its 32.
struct NeonIsa {
    static constexpr bool kFused = true;
    static constexpr bool kRoundsInRegisters = true;
    static constexpr int kGroup = 4;
};
#endif

template <int Lanes>
struct DoubleVector;
template <>
struct DoubleVector<4> {
    using Type [[gnu::vector_size(4 * sizeof(double))]] = double;
};
template <>
struct DoubleVector<8> {
    using Type [[gnu::vector_size(8 * sizeof(double))]] = double;
};

// Stage 1: x[j] = the position of frame first + j in half-cycles, as the
// per-sample path forms it (position rounded to float, its remainder by the
// cycle, then q / h rounded to float).
template <class Isa>
[[gnu::always_inline]] inline void positionsInCycle(const BlockSettings& s, std::int32_t first,
                                                    std::int32_t count, float* x) {
    const auto cycle = static_cast<double>(s.cycle);
    const double inverseCycle = 1.0 / cycle;
    // Dividing by h or multiplying by 1/h gives the same float: for h a power
    // of two 1/h is exact; otherwise h has an odd significand of more than one
    // bit, so q/h (q, h floats) is never halfway between two floats and lies
    // at least 2^-49 (relative) from any such midpoint, farther than the
    // product's error of 2^-52.
    const double inverseHalfCycle = 1.0 / static_cast<double>(s.halfCycle);
    // Copies, so that the compiler need not fear that writing x changes them.
    const double beatsPerSample = s.beatsPerSample;
    const double start = s.start;
    for (std::int32_t j = 0; j < count; ++j) {
        const auto index = static_cast<double>(first + j);
        const auto position =
            static_cast<double>(static_cast<float>(index * beatsPerSample + start));
        // fmodf(position, cycle) without the call. With 0 <= position < 2^24
        // and cycle >= 1/8 the cycle count n < 2^27, so n * cycle (27 + 24
        // bits) and position - n * cycle are exact in double. The rounded
        // quotient may make n one too large or too small; the two corrections
        // below fix that, and they are exact too.
        double n = 0.0;
        if constexpr (Isa::kRoundsInRegisters) {
            n = std::floor(position * inverseCycle);
        } else {
            n = static_cast<double>(static_cast<std::int32_t>(position * inverseCycle));
        }
        double inCycle = position - n * cycle;
        inCycle = inCycle < 0.0 ? inCycle + cycle : inCycle;
        inCycle = inCycle >= cycle ? inCycle - cycle : inCycle;
        x[j] = static_cast<float>(inCycle * inverseHalfCycle);
    }
}

// Stage 2, part one: the phase and the triangle (or the square's side), in
// the same float steps as phaseAt and shapeValue. The phase before its
// remainder lies in 1..5, so fmodf(phase, 2) subtracts 2 or 4, exactly
// (Sterbenz).
template <std::int32_t Shape>
[[gnu::always_inline]] inline void shapeValues(const BlockSettings& s, std::int32_t count,
                                               float* x) {
    const float shift = s.phaseShift;
    for (std::int32_t j = 0; j < count; ++j) {
        float phase = x[j] + 2.0f + shift;
        phase = phase >= 4.0f ? phase - 4.0f : (phase >= 2.0f ? phase - 2.0f : phase);
        if constexpr (Shape == kSquare) {
            x[j] = sideOf(phase);
        } else {
            x[j] = triangleRise(phase) * sideOf(phase);  // the sine shape goes on below
        }
    }
}

// Stage 2, part two, and stage 3: the shape's value and the filter input.
// (Loops of their own: the sine's chain of multiply-adds and the double
// steps of stage 1 in one loop would stretch each step and leave the
// processor waiting.)
template <class Isa, std::int32_t Shape>
[[gnu::always_inline]] inline void panTargets(const BlockSettings& s, std::int32_t count,
                                              float* x) {
    const float width = s.width;
    for (std::int32_t j = 0; j < count; ++j) {
        float value = 0.0f;
        if constexpr (Shape == kSineShaped) {
            // The sine is odd, so sin(rise * side) = sin(rise) * side exactly.
            // sinf(float(rise * pi/2)) rounds the argument first; skipping
            // that moves the result by at most half a float step of the
            // argument times the cosine, about 3e-8.
            value = static_cast<float>(halfPiSine<Isa::kFused>(static_cast<double>(x[j])));
        } else if constexpr (Shape == kTriangle || Shape == kSquare) {
            value = x[j];
        }
        x[j] = panTarget(value, width);
    }
}

template <class Isa, std::int32_t Shape>
[[gnu::always_inline]] inline void panTargetsOfShape(const BlockSettings& s, std::int32_t first,
                                                     std::int32_t count, float* x) {
    positionsInCycle<Isa>(s, first, count, x);
    shapeValues<Shape>(s, count, x);
    panTargets<Isa, Shape>(s, count, x);
}

// Stages 1 to 3 for frames first .. first + count - 1, for the block's shape.
template <class Isa>
[[gnu::always_inline]] inline void panTargetsFor(const BlockSettings& s, std::int32_t first,
                                                 std::int32_t count, float* x) {
    switch (s.waveShape) {
    case kTriangle:
        panTargetsOfShape<Isa, kTriangle>(s, first, count, x);
        break;
    case kSineShaped:
        panTargetsOfShape<Isa, kSineShaped>(s, first, count, x);
        break;
    case kSquare:
        panTargetsOfShape<Isa, kSquare>(s, first, count, x);
        break;
    default:
        panTargetsOfShape<Isa, -1>(s, first, count, x);
        break;
    }
}

// Stage 4, part one: w[j] = b1 x[j-1] + b0 x[j] + b2 x[j-2] in double, in
// the per-sample step's order; x holds the two previous inputs in front.
// w is padded with zeros to whole groups: outputs past count are computed
// and dropped.
template <class Isa>
[[gnu::always_inline]] inline std::int32_t filterNumerators(const BlockResponses& f,
                                                            std::int32_t count, const float* x,
                                                            double* w) {
    for (std::int32_t j = 0; j < count; ++j) {
        const auto current = static_cast<double>(x[j + 2]);
        const auto previous = static_cast<double>(x[j + 1]);
        const auto beforeThat = static_cast<double>(x[j]);
        w[j] = multiplyAdd<Isa::kFused>(f.b2, beforeThat,
                                        multiplyAdd<Isa::kFused>(f.b0, current, f.b1 * previous));
    }
    const std::int32_t groups = (count + Isa::kGroup - 1) / Isa::kGroup;
    for (std::int32_t j = count; j < groups * Isa::kGroup; ++j) {
        w[j] = 0.0;
    }
    return groups;
}

// The group matrix's columns and history responses, loaded once per block
// and kept in registers. (Vector values stay inside the kernel's one inlined
// body: passing them by value would depend on the instruction set.)
template <class Isa>
struct GroupRecursion {
    using Vector = typename DoubleVector<Isa::kGroup>::Type;

    explicit GroupRecursion(const BlockResponses& f) {
        for (int j = 0; j < Isa::kGroup; ++j) {
            std::memcpy(&column[j], f.impulse + kMaxGroup - j, sizeof column[j]);
        }
        std::memcpy(&fromLast, f.fromLast, sizeof fromLast);
        std::memcpy(&fromSecondLast, f.fromSecondLast, sizeof fromSecondLast);
    }

    // Stage 4, part two: the recursion, one group per step, into y[0..) from
    // the outputs y1, y2 before it; leaves the last two outputs in y1, y2.
    // Only the group's last two outputs feed the next step, and the matrix
    // product does not wait for them. Reordering the sums of a stable,
    // well-damped filter in double moves the outputs by about 1e-16.
    [[gnu::always_inline]] void run(const double* w, std::int32_t groups, double* y, double& y1,
                                    double& y2) const {
        for (std::int32_t g = 0; g < groups; ++g) {
            const double* wg = w + g * Isa::kGroup;
            Vector sum = wg[0] * column[0];
            for (int j = 1; j < Isa::kGroup; ++j) {
                sum += wg[j] * column[j];
            }
            sum += y2 * fromSecondLast + y1 * fromLast;
            std::memcpy(y + g * Isa::kGroup, &sum, sizeof sum);
            y1 = sum[Isa::kGroup - 1];
            y2 = sum[Isa::kGroup - 2];
        }
    }

    Vector column[static_cast<std::size_t>(Isa::kGroup)];
    Vector fromLast;
    Vector fromSecondLast;
};

// Stage 5: the gains and the output samples, in float. sin((1 - y) pi/2)
// is cos(y pi/2), so both gains come from y * y, and the output gain is
// folded into their polynomials (leftGain, rightGain). The per-sample path
// rounds 1 - y and both arguments to float and multiplies by the output gain
// last; here y is rounded to float once and each gain is within 4e-7 of
// sqrt(2) times the exact sine, so an output moves by less than 5e-7.
// Both inputs of a frame are read before its outputs are written, and frames
// do not depend on each other, so in-place buffers are fine.
template <class Isa>
[[gnu::always_inline]] inline void applyPanGains(const double* pan, const StereoBlock& b,
                                                 std::int32_t done, std::int32_t count) {
    const float* inLeft = b.inLeft + done;
    const float* inRight = b.inRight + done;
    float* outLeft = b.outLeft + done;
    float* outRight = b.outRight + done;
    for (std::int32_t j = 0; j < count; ++j) {
        const auto y = static_cast<float>(pan[j]);
        const float left = inLeft[j];
        const float right = inRight[j];
        outLeft[j] = leftGain<Isa::kFused>(y) * left;
        outRight[j] = rightGain<Isa::kFused>(y) * right;
    }
}

// The driver: the stages chunk by chunk, the filter history carried through.
template <class Isa>
[[gnu::always_inline]] inline void processChunks(SmoothingFilter& filter, const BlockSettings& s,
                                                 const StereoBlock& b) {
    static_assert(Isa::kGroup <= kMaxGroup && kChunk % Isa::kGroup == 0);
    const GroupRecursion<Isa> recursion(filter.block());
    // x with the two previous inputs in front; y likewise with the two
    // previous outputs, in double; w padded to whole groups.
    float x[kChunk + 2];
    double w[kChunk + kMaxGroup];
    double y[kChunk + 2 + kMaxGroup];
    float x2 = filter.x2;
    float x1 = filter.x1;
    auto y2 = static_cast<double>(filter.y2);
    auto y1 = static_cast<double>(filter.y1);

    for (std::int32_t done = 0; done < b.frames; done += kChunk) {
        const std::int32_t count = b.frames - done < kChunk ? b.frames - done : kChunk;
        x[0] = x2;
        x[1] = x1;
        panTargetsFor<Isa>(s, done, count, x + 2);
        const std::int32_t groups = filterNumerators<Isa>(filter.block(), count, x, w);
        y[0] = y2;
        y[1] = y1;
        recursion.run(w, groups, y + 2, y1, y2);
        x2 = x[count];
        x1 = x[count + 1];
        y2 = y[count];
        y1 = y[count + 1];
        applyPanGains<Isa>(y + 2, b, done, count);
    }

    filter.x2 = x2;
    filter.x1 = x1;
    filter.y2 = static_cast<float>(y2);
    filter.y1 = static_cast<float>(y1);
}

void processBaseline(SmoothingFilter& f, const BlockSettings& s, const StereoBlock& b) {
    processChunks<BaselineIsa>(f, s, b);
}

void panTargetsBaseline(const BlockSettings& s, std::int32_t first, std::int32_t count, float* x) {
    panTargetsFor<BaselineIsa>(s, first, count, x);
}

bool baselineSupported() { return true; }

#if DRIFTON_AVX2_PATH
[[gnu::target("avx2,fma")]] void processAvx2Fma(SmoothingFilter& f, const BlockSettings& s,
                                                const StereoBlock& b) {
    processChunks<Avx2FmaIsa>(f, s, b);
}

[[gnu::target("avx2,fma")]] void panTargetsAvx2Fma(const BlockSettings& s, std::int32_t first,
                                                   std::int32_t count, float* x) {
    panTargetsFor<Avx2FmaIsa>(s, first, count, x);
}

bool avx2FmaSupported() {
    // Also false where the operating system does not save the AVX registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
#endif

#if DRIFTON_NEON_PATH
void processNeon(SmoothingFilter& f, const BlockSettings& s, const StereoBlock& b) {
    processChunks<NeonIsa>(f, s, b);
}

void panTargetsNeon(const BlockSettings& s, std::int32_t first, std::int32_t count, float* x) {
    panTargetsFor<NeonIsa>(s, first, count, x);
}

bool neonSupported() { return true; }
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
    {KernelPath::kBaseline, "baseline", baselineSupported, processBaseline, panTargetsBaseline},
#if DRIFTON_AVX2_PATH
    {KernelPath::kAvx2Fma, "avx2+fma", avx2FmaSupported, processAvx2Fma, panTargetsAvx2Fma},
#endif
#if DRIFTON_NEON_PATH
    {KernelPath::kNeon, "neon", neonSupported, processNeon, panTargetsNeon},
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
