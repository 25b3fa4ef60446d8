// The block kernel. Each block is cut into chunks of kChunk frames, and each
// chunk goes through four stages over small buffers on the stack:
//   1. pan targets: the oscillator's phase, shape and the filter input x,
//      bit for bit what the per-sample path computes (except the sine shape,
//      whose sine may differ in the last place);
//   2. the filter's numerator w, in double;
//   3. the filter's recursion, a group of outputs at a time, in double;
//   4. the two channel gains and the output samples.
// Stages 1, 2 and 4 are plain loops the compiler vectorises; stage 3 is
// written with vector types. This file is built with -ffp-contract=off, so
// a * b + c is never fused behind our back: the steps that must match the
// per-sample path round exactly as it does, and fused multiply-adds appear
// only where written (Fused). It is also built with -fno-trapping-math, which
// lets the compiler evaluate both sides of a choice such as
// `x < 0 ? x + c : x` and select; nothing here reads the floating-point
// exception flags.
#include "panner/pan_block_kernel.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "panner/pan_oscillator.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define DRIFTON_AVX2_PATH 1
#else
#define DRIFTON_AVX2_PATH 0
#endif

namespace drifton {

namespace {

// Frames per pass over the scratch buffers: small enough for the first-level
// cache, large enough that the per-chunk overhead does not matter.
constexpr int kChunk = 256;
constexpr int kMaxGroup = BlockResponses::kMaxGroup;

// What differs between the two builds of the kernel: fused multiply-adds, and
// how many filter outputs one step of the recursion computes (one vector of
// eight doubles is two AVX registers; four doubles are two SSE2 registers).
struct BaselineIsa {
    static constexpr bool kFused = false;
    static constexpr bool kRoundsInRegisters = false;  // floor is a call without SSE4.1
    static constexpr int kGroup = 4;
};
#if DRIFTON_AVX2_PATH
struct Avx2FmaIsa {
    static constexpr bool kFused = true;
    static constexpr bool kRoundsInRegisters = true;
    static constexpr int kGroup = 8;
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

// Stage 1 for one shape, in three loops: x[j] for frames first .. first + count - 1.
template <class Isa, std::int32_t Shape>
[[gnu::always_inline]] inline void panTargets(const BlockSettings& s, std::int32_t first,
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
    const float shift = s.phaseShift;
    const float width = s.width;
    for (std::int32_t j = 0; j < count; ++j) {
        // The position rounded to float exactly as the per-sample path does.
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
    // The phase from the position in half-cycles, the same float steps as the
    // per-sample path. It lies in 1..5, so fmodf(phase, 2) subtracts 2 or 4,
    // exactly (Sterbenz), and fmodf(phase, 1) then subtracts 1 or nothing.
    for (std::int32_t j = 0; j < count; ++j) {
        float phase = x[j] + 2.0f + shift;
        phase = phase >= 4.0f ? phase - 4.0f : (phase >= 2.0f ? phase - 2.0f : phase);
        const float side = phase < 1.0f ? -1.0f : 1.0f;
        const float m = phase >= 1.0f ? phase - 1.0f : phase;
        const float rise = m < 0.5f ? 2.0f * m : 2.0f - 2.0f * m;
        if constexpr (Shape == kSquare) {
            x[j] = side;
        } else {
            x[j] = rise * side;  // the triangle; the sine shape takes it from here
        }
    }
    // The shape and the filter input. (Three short loops rather than one long
    // one: the sine's chain of multiply-adds, and the double-precision steps
    // before it, would otherwise stretch each step and leave the processor
    // waiting.)
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
        x[j] = value * width * 0.5f + 0.5f;
    }
}

template <class Isa>
[[gnu::always_inline]] inline void panTargetsForShape(const BlockSettings& s, std::int32_t first,
                                                      std::int32_t count, float* x) {
    switch (s.waveShape) {
    case kTriangle:
        panTargets<Isa, kTriangle>(s, first, count, x);
        break;
    case kSineShaped:
        panTargets<Isa, kSineShaped>(s, first, count, x);
        break;
    case kSquare:
        panTargets<Isa, kSquare>(s, first, count, x);
        break;
    default:
        panTargets<Isa, -1>(s, first, count, x);
        break;
    }
}

template <class Isa>
[[gnu::always_inline]] inline void runKernel(SmoothingFilter& filter, const BlockSettings& s,
                                             const StereoBlock& b) {
    const BlockResponses& f = filter.block();
    constexpr bool Fused = Isa::kFused;
    constexpr int kGroup = Isa::kGroup;
    static_assert(kGroup <= kMaxGroup && kChunk % kGroup == 0);
    using GroupVector = typename DoubleVector<kGroup>::Type;

    // x with the two previous inputs in front; y likewise with the two
    // previous outputs, in double; w padded to whole groups.
    float x[kChunk + 2];
    double w[kChunk + kMaxGroup];
    double y[kChunk + 2 + kMaxGroup];
    float x2 = filter.x2;
    float x1 = filter.x1;
    auto y2 = static_cast<double>(filter.y2);
    auto y1 = static_cast<double>(filter.y1);

    // The group matrix's columns and history responses, kept in registers.
    // (Vector values stay inside this function: passing them by value would
    // depend on the instruction set.)
    GroupVector column[static_cast<std::size_t>(kGroup)];
    for (int j = 0; j < kGroup; ++j) {
        std::memcpy(&column[j], f.impulse + kMaxGroup - j, sizeof column[j]);
    }
    GroupVector fromLast;
    GroupVector fromSecondLast;
    std::memcpy(&fromLast, f.fromLast, sizeof fromLast);
    std::memcpy(&fromSecondLast, f.fromSecondLast, sizeof fromSecondLast);

    for (std::int32_t done = 0; done < b.frames; done += kChunk) {
        const std::int32_t count = b.frames - done < kChunk ? b.frames - done : kChunk;

        x[0] = x2;
        x[1] = x1;
        panTargetsForShape<Isa>(s, done, count, x + 2);

        // Stage 2: the numerator, in the per-sample filter's order.
        for (std::int32_t j = 0; j < count; ++j) {
            const auto current = static_cast<double>(x[j + 2]);
            const auto previous = static_cast<double>(x[j + 1]);
            const auto beforeThat = static_cast<double>(x[j]);
            w[j] = multiplyAdd<Fused>(f.b2, beforeThat,
                                      multiplyAdd<Fused>(f.b0, current, f.b1 * previous));
        }
        const std::int32_t groups = (count + kGroup - 1) / kGroup;
        for (std::int32_t j = count; j < groups * kGroup; ++j) {
            w[j] = 0.0;  // outputs past count are computed and dropped
        }

        // Stage 3, the recursion, one group per step. Only the group's last two
        // outputs feed the next step, and the matrix product does not wait
        // for them. Reordering the sums of a stable, well-damped filter in
        // double moves the outputs by about 1e-16.
        y[0] = y2;
        y[1] = y1;
        for (std::int32_t g = 0; g < groups; ++g) {
            const double* wg = w + g * kGroup;
            GroupVector sum = wg[0] * column[0];
            for (int j = 1; j < kGroup; ++j) {
                sum += wg[j] * column[j];
            }
            sum += y2 * fromSecondLast + y1 * fromLast;
            std::memcpy(y + 2 + g * kGroup, &sum, sizeof sum);
            y1 = sum[kGroup - 1];
            y2 = sum[kGroup - 2];
        }
        x2 = x[count];
        x1 = x[count + 1];
        y2 = y[count];
        y1 = y[count + 1];

        // Stage 4. Gains: sin((1 - y) pi/2) is cos(y pi/2), so both come
        // from y * y.
        // The per-sample path rounds y, 1 - y and both arguments to float
        // first; taking them exact instead moves a gain by about one float
        // step at most. Both inputs of a frame are read before its outputs
        // are written, and frames do not depend on each other, so in-place
        // buffers are fine.
        const float* inLeft = b.inLeft + done;
        const float* inRight = b.inRight + done;
        float* outLeft = b.outLeft + done;
        float* outRight = b.outRight + done;
        const double* pan = y + 2;
#pragma GCC ivdep
        for (std::int32_t j = 0; j < count; ++j) {
            const auto leftGain = static_cast<float>(halfPiCosine<Fused>(pan[j]));
            const auto rightGain = static_cast<float>(halfPiSine<Fused>(pan[j]));
            const float left = inLeft[j];
            const float right = inRight[j];
            outLeft[j] = leftGain * left * outputGain;
            outRight[j] = rightGain * right * outputGain;
        }
    }

    filter.x2 = x2;
    filter.x1 = x1;
    filter.y2 = static_cast<float>(y2);
    filter.y1 = static_cast<float>(y1);
}

void processBaseline(SmoothingFilter& f, const BlockSettings& s, const StereoBlock& b) {
    runKernel<BaselineIsa>(f, s, b);
}

void panTargetsBaseline(const BlockSettings& s, std::int32_t first, std::int32_t count, float* x) {
    panTargetsForShape<BaselineIsa>(s, first, count, x);
}

#if DRIFTON_AVX2_PATH
[[gnu::target("avx2,fma")]] void processAvx2Fma(SmoothingFilter& f, const BlockSettings& s,
                                                const StereoBlock& b) {
    runKernel<Avx2FmaIsa>(f, s, b);
}

[[gnu::target("avx2,fma")]] void panTargetsAvx2Fma(const BlockSettings& s, std::int32_t first,
                                                   std::int32_t count, float* x) {
    panTargetsForShape<Avx2FmaIsa>(s, first, count, x);
}
#endif

KernelPath choosePath() {
    const char* force = std::getenv("DRIFTON_FORCE_BASELINE");
    if (force != nullptr && force[0] != '\0' && std::strcmp(force, "0") != 0) {
        return KernelPath::kBaseline;
    }
    return kernelPathSupported(KernelPath::kAvx2Fma) ? KernelPath::kAvx2Fma : KernelPath::kBaseline;
}

// Decide when the library is loaded, so that the audio thread only reads it.
[[maybe_unused]] const KernelPath pathAtLoad = selectedKernelPath();

}  // namespace

bool kernelPathSupported(KernelPath path) {
    if (path == KernelPath::kBaseline) {
        return true;
    }
#if DRIFTON_AVX2_PATH
    // Also false where the operating system does not save the AVX registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

KernelPath selectedKernelPath() {
    static const KernelPath path = choosePath();
    return path;
}

const char* kernelPathName(KernelPath path) {
    return path == KernelPath::kAvx2Fma ? "avx2+fma" : "baseline";
}

void processPanBlockWith(KernelPath path, SmoothingFilter& filter, const BlockSettings& settings,
                         const StereoBlock& block) {
#if DRIFTON_AVX2_PATH
    if (path == KernelPath::kAvx2Fma) {
        processAvx2Fma(filter, settings, block);
        return;
    }
#else
    (void)path;
#endif
    processBaseline(filter, settings, block);
}

void computePanTargets(KernelPath path, const BlockSettings& settings, std::int32_t first,
                       std::int32_t count, float* x) {
#if DRIFTON_AVX2_PATH
    if (path == KernelPath::kAvx2Fma) {
        panTargetsAvx2Fma(settings, first, count, x);
        return;
    }
#else
    (void)path;
#endif
    panTargetsBaseline(settings, first, count, x);
}

void processPanBlock(SmoothingFilter& filter, const BlockSettings& settings,
                     const StereoBlock& block) {
    processPanBlockWith(selectedKernelPath(), filter, settings, block);
}

}  // namespace drifton
