// The block kernel's stages, written once for every instruction set: the
// per-sample loop (pan_sample_loop.h) reorganised so that each step runs over
// many samples at once. The stage map and the paths are in
// pan_block_kernel.cpp.
//
// Included only by the kernel paths' translation units (pan_kernel_*.cpp),
// each compiled for its own instruction set and instantiating these
// templates with its own Isa row. Everything here sits in an anonymous
// namespace, and calls into shared headers are always inlined, so each
// path's object holds private copies only: the linker can never pick a copy
// built for one instruction set to serve another (pinned by
// PathObjectsDefineOnlyTheirEntries).
//
// An Isa row says: kFused (fused multiply-adds where written), kRoundsInRegisters
// (floor is one instruction), kGroup (filter outputs per recursion step: two
// vectors of doubles), kFloatLanes (floats per vector), and gives
// multiplyAdd(a, b, c) on vectors of kGroup / 2 doubles (fused or not).
//
// These files are built with -ffp-contract=off, so a * b + c is never fused
// behind our back: the steps that must match the per-sample path round
// exactly as it does, and fused multiply-adds appear only where written
// (Fused). And with -fno-trapping-math, which lets the compiler evaluate
// both sides of a choice such as `x < 0 ? x + c : x` and select; nothing
// here reads the floating-point exception flags.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "engine/pan_block_kernel.h"
#include "engine/pan_oscillator.h"
#include "pan_kernel_internal.h"

namespace drifton {
namespace {

template <class To, class From>
[[gnu::always_inline]] inline To bitsAs(const From& from) {
    return __builtin_bit_cast(To, from);
}

// Frames per pass over the scratch buffers: small enough for the first-level
// cache, large enough that the per-chunk overhead does not matter.
constexpr int kChunk = 256;
constexpr int kMaxGroup = BlockResponses::kMaxGroup;

template <int Lanes>
struct FloatVector;
template <>
struct FloatVector<4> {
    using Type [[gnu::vector_size(4 * sizeof(float))]] = float;
    using Bits [[gnu::vector_size(4 * sizeof(float))]] = std::uint32_t;
};
template <>
struct FloatVector<8> {
    using Type [[gnu::vector_size(8 * sizeof(float))]] = float;
    using Bits [[gnu::vector_size(8 * sizeof(float))]] = std::uint32_t;
};

template <int Lanes>
struct DoubleVector;
template <>
struct DoubleVector<2> {
    using Type [[gnu::vector_size(2 * sizeof(double))]] = double;
};
template <>
struct DoubleVector<4> {
    using Type [[gnu::vector_size(4 * sizeof(double))]] = double;
};

// Stage 1: x[j] = the position of frame first + j in half-cycles, as the
// per-sample path forms it (position rounded to float, its remainder by the
// cycle, then q / h rounded to float).
//
// The remainder without fmodf. Positions p are floats below 2^24 beats and
// the cycle c >= 1/8, so the cycle count q = p / c < 2^27 and n * c (27 + 24
// bits) is exact in double, as is p - n * c once n = floor(q). n comes from
// the rounded product p * (1/c), off from q by less than 2^-25. If c does not
// divide p, q lies at least 2^-24 from any whole number (for p >= c both p
// and c are multiples of c's last place, which is more than 2^-24 c; for
// p < c, q < 1 - 2^-25 and the error is below 2^-52), so n is right. If c
// divides p, n may be one short and leave r == c exactly: that is set to 0.
// (n is never one too many.)
//
// A power-of-two cycle (every division but the triplets 3, 6, 12, 24 and 48)
// needs no double: p * (1/c), its floor, n * c and p - n * c are then exact in
// float, and r / h = r * (1/h) exactly.
//
// Dividing in double and rounding to float gives the float quotient r / h:
// for h a power of two 1/h is exact; otherwise h has an odd significand of
// more than one bit, so r/h (r, h floats) is never halfway between two floats
// and lies at least 2^-49 (relative) from any such midpoint, farther than the
// double product's error of 2^-52.
template <class Isa>
[[gnu::always_inline]] inline float floorOf(float q) {
    if constexpr (Isa::kRoundsInRegisters) {
        return __builtin_floorf(q);
    } else {
        return static_cast<float>(static_cast<std::int32_t>(q));  // q >= 0
    }
}

template <class Isa>
[[gnu::always_inline]] inline double floorOf(double q) {
    if constexpr (Isa::kRoundsInRegisters) {
        return __builtin_floor(q);
    } else {
        return static_cast<double>(static_cast<std::int32_t>(q));  // 0 <= q < 2^28
    }
}

[[gnu::always_inline]] inline bool isPowerOfTwo(float value) {
    return (bitsAs<std::uint32_t>(value) & 0x007FFFFFu) == 0;
}

template <class Isa>
[[gnu::always_inline]] inline void positionsInCycle(const BlockSettings& s, std::int32_t first,
                                                    std::int32_t count, float* x) {
    // Copies, so that the compiler need not fear that writing x changes them.
    const double beatsPerSample = s.beatsPerSample;
    const double start = s.start;
    if (isPowerOfTwo(s.cycle)) {
        const float cycle = s.cycle;
        const float inverseCycle = 1.0f / cycle;
        const float inverseHalfCycle = 1.0f / s.halfCycle;
        for (std::int32_t j = 0; j < count; ++j) {
            const auto index = static_cast<double>(first + j);
            const auto position = static_cast<float>(index * beatsPerSample + start);
            const float n = floorOf<Isa>(position * inverseCycle);
            x[j] = (position - n * cycle) * inverseHalfCycle;
        }
        return;
    }
    const auto cycle = static_cast<double>(s.cycle);
    const double inverseCycle = 1.0 / cycle;
    const double inverseHalfCycle = 1.0 / static_cast<double>(s.halfCycle);
    for (std::int32_t j = 0; j < count; ++j) {
        const auto index = static_cast<double>(first + j);
        const auto position =
            static_cast<double>(static_cast<float>(index * beatsPerSample + start));
        const double n = floorOf<Isa>(position * inverseCycle);
        double inCycle = position - n * cycle;
        inCycle -= inCycle == cycle ? cycle : 0.0;
        x[j] = static_cast<float>(inCycle * inverseHalfCycle);
    }
}

// Stages 2 and 3: the phase, the shape's value and the filter input, in the
// same float steps as phaseAt, shapeValue and panTarget (the sine within
// 1.2e-7), without choosing between computed values where a mask will do
// (applied by a bitwise and, which costs less than a select where the
// instruction set has no blend).
//  - The phase before its remainder lies in 1..5, so fmodf(phase, 2)
//    subtracts 2 or 4; subtracting 2 twice is exact as well (the first
//    leaves 0..3 at a place no coarser than the phase's, the second is
//    Sterbenz).
//  - triangleRise: with m the phase's remainder by 1 and t = 2m (exact),
//    rise = t below m = 0.5 and 2 - t from there (Sterbenz), which is
//    |t - 2| there: rise = |t - (t >= 1 ? 2 : 0)|.
//  - rise * side is rise with the side's sign: the same float, and -0 for a
//    rise of 0 on the left as the product gives; the sine is odd, so
//    sin(rise * side) is sin(rise) with the side's sign.
template <class Isa, std::int32_t Shape>
[[gnu::always_inline]] inline void shapeValues(const BlockSettings& s, std::int32_t count,
                                               float* x) {
    // Written on vectors, so that the masks stay masks: the compiler turns a
    // loop's `c ? a : 0` into selects.
    using Float = typename FloatVector<Isa::kFloatLanes>::Type;
    using Bits = typename FloatVector<Isa::kFloatLanes>::Bits;
    const Bits sign = Bits{} + 0x80000000u;
    const Bits two = Bits{} + bitsAs<std::uint32_t>(2.0f);
    const Bits one = Bits{} + bitsAs<std::uint32_t>(1.0f);
    const float shift = s.phaseShift;
    const float width = s.width;
    for (std::int32_t j = 0; j < count; j += Isa::kFloatLanes) {
        Float phase;
        std::memcpy(&phase, x + j, sizeof phase);
        phase = phase + 2.0f + shift;
        phase -= bitsAs<Float>(bitsAs<Bits>(phase >= 2.0f) & two);
        phase -= bitsAs<Float>(bitsAs<Bits>(phase >= 2.0f) & two);
        const Bits right = bitsAs<Bits>(phase >= 1.0f);  // sideOf
        const Bits side = ~right & sign;
        Float value = Float{};
        if constexpr (Shape == kSquare) {
            value = bitsAs<Float>(one | side);
        } else if constexpr (Shape == kTriangle || Shape == kSineShaped) {
            const Float twice = 2.0f * (phase - bitsAs<Float>(right & one));
            const Float fromPeak = twice - bitsAs<Float>(bitsAs<Bits>(twice >= 1.0f) & two);
            Float rise = bitsAs<Float>(bitsAs<Bits>(fromPeak) & ~sign);
            if constexpr (Shape == kSineShaped) {
                rise = halfPiSineOfRise(
                    rise, [](Float a, Float b, Float c) { return Isa::multiplyAdd(a, b, c); });
            }
            value = bitsAs<Float>(bitsAs<Bits>(rise) | side);
        }
        const Float target = value * width * 0.5f + 0.5f;  // panTarget
        std::memcpy(x + j, &target, sizeof target);
    }
}

template <class Isa, std::int32_t Shape>
[[gnu::always_inline]] inline void panTargetsOfShape(const BlockSettings& s, std::int32_t first,
                                                     std::int32_t count, float* x) {
    // On whole vectors: x has room for the frames after count, which are
    // computed and dropped.
    const std::int32_t whole = (count + Isa::kFloatLanes - 1) / Isa::kFloatLanes * Isa::kFloatLanes;
    positionsInCycle<Isa>(s, first, whole, x);
    shapeValues<Isa, Shape>(s, whole, x);
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

// Stage 4, part one: the filter inputs as the recursion reads them
// (Isa::FilterInput), the two previous ones in front (x holds them there
// too), for whole groups: x has its values that far (stages 1 and 2 run on
// whole vectors, and kFloatLanes divides kGroup). In double where a double
// is broadcast from memory in one instruction (AVX); floats as they are
// where a broadcast takes two either way (SSE2), converting on the way.
template <class Isa>
[[gnu::always_inline]] inline const typename Isa::FilterInput* filterInputs(std::int32_t groups,
                                                                            const float* x,
                                                                            double* xd) {
    if constexpr (std::is_same_v<typename Isa::FilterInput, float>) {
        return x;
    } else {
        for (std::int32_t j = 0; j < groups * Isa::kGroup + 2; ++j) {
            xd[j] = static_cast<double>(x[j]);
        }
        return xd;
    }
}

// Stage 4, part two: the filter, one group of kGroup outputs per step, from
// the group's inputs and the two inputs and outputs before it
// (BlockResponses). A group is two vectors of kGroup / 2 doubles, its first
// and second half; the matrix is lower triangular, so inputs in the second
// half leave the first half alone. Only the group's last two outputs feed the
// next step, and the products of the inputs do not wait for them. Reordering
// the sums of a stable, well-damped filter in double moves the outputs by
// about 1e-16.
template <class Isa>
struct GroupRecursion {
    static constexpr int kHalf = Isa::kGroup / 2;
    using Vector = typename DoubleVector<kHalf>::Type;

    template <class Number>
    [[gnu::always_inline]] static Vector all(Number value) {
        return Vector{} + static_cast<double>(value);
    }
    [[gnu::always_inline]] static Vector load(const double* from) {
        Vector v;
        std::memcpy(&v, from, sizeof v);
        return v;
    }

    // in: the inputs, the two before the first group in front; into y[0..),
    // from the outputs y1, y2 before it; leaves the last two outputs in y1, y2.
    // The columns are read where they are, for the compiler to keep in
    // registers as far as they go (a copy would cost a block its own loads).
    [[gnu::always_inline]] static void run(const BlockResponses& f,
                                           const typename Isa::FilterInput* inputs,
                                           std::int32_t groups, double* y, double& y1, double& y2) {
        // Column j of the matrix, first and second half: f.impulse from
        // kMaxGroup - j; the history responses, in the order of `before`.
        const double* column = f.impulse + kMaxGroup;
        const double* history[4] = {f.fromInputSecondLast, f.fromInputLast, f.fromSecondLast,
                                    f.fromLast};
        for (std::int32_t g = 0; g < groups; ++g) {
            const auto* in = inputs + g * Isa::kGroup;  // in[0], in[1]: the two before
            Vector low = all(in[2]) * load(column);
            Vector high = all(in[2]) * load(column + kHalf);
            for (int j = 1; j < kHalf; ++j) {
                low = Isa::multiplyAdd(all(in[2 + j]), load(column - j), low);
                high = Isa::multiplyAdd(all(in[2 + j]), load(column - j + kHalf), high);
            }
            for (int j = kHalf; j < Isa::kGroup; ++j) {
                high = Isa::multiplyAdd(all(in[2 + j]), load(column - j + kHalf), high);
            }
            const double before[4] = {static_cast<double>(in[0]), static_cast<double>(in[1]), y2,
                                      y1};
            for (int h = 0; h < 4; ++h) {
                low = Isa::multiplyAdd(all(before[h]), load(history[h]), low);
                high = Isa::multiplyAdd(all(before[h]), load(history[h] + kHalf), high);
            }
            std::memcpy(y + g * Isa::kGroup, &low, sizeof low);
            std::memcpy(y + g * Isa::kGroup + kHalf, &high, sizeof high);
            y1 = high[kHalf - 1];
            y2 = high[kHalf - 2];
        }
    }
};

// Stage 5: the gains and the output samples, in float. sin((1 - y) pi/2)
// is cos(y pi/2), so both gains come from y * y, and the output gain is
// folded into their polynomials (leftGain, rightGain). The per-sample path
// rounds 1 - y and both arguments to float and multiplies by the output gain
// last; here y is rounded to float once and each gain is within 4e-7 of
// sqrt(2) times the exact sine, so an output moves by less than 5e-7.
// On whole vectors, then frame by frame: the inputs of a vector of frames
// are read before its outputs are written, and frames do not depend on each
// other, so in-place buffers are fine (and the compiler, given vectors,
// need not check at run time whether the buffers overlap).
template <class Isa>
[[gnu::always_inline]] inline void applyPanGains(const double* pan, const StereoBlock& b,
                                                 std::int32_t done, std::int32_t count) {
    using Float = typename FloatVector<Isa::kFloatLanes>::Type;
    constexpr int kLanes = Isa::kFloatLanes;
    const float* inLeft = b.inLeft + done;
    const float* inRight = b.inRight + done;
    float* outLeft = b.outLeft + done;
    float* outRight = b.outRight + done;
    const auto vectorMultiplyAdd = [](Float a, Float c, Float d) {
        return Isa::multiplyAdd(a, c, d);
    };
    const std::int32_t whole = count / kLanes * kLanes;
    for (std::int32_t j = 0; j < whole; j += kLanes) {
        float rounded[static_cast<std::size_t>(kLanes)];
        for (int k = 0; k < kLanes; ++k) {
            rounded[k] = static_cast<float>(pan[j + k]);
        }
        Float y;
        Float left;
        Float right;
        std::memcpy(&y, rounded, sizeof y);
        std::memcpy(&left, inLeft + j, sizeof left);
        std::memcpy(&right, inRight + j, sizeof right);
        left *= leftGain(y, vectorMultiplyAdd);
        right *= rightGain(y, vectorMultiplyAdd);
        std::memcpy(outLeft + j, &left, sizeof left);
        std::memcpy(outRight + j, &right, sizeof right);
    }
    const auto multiplyAdd = [](float a, float c, float d) {
        return drifton::multiplyAdd<Isa::kFused>(a, c, d);
    };
    for (std::int32_t j = whole; j < count; ++j) {
        const auto y = static_cast<float>(pan[j]);
        const float left = inLeft[j];
        const float right = inRight[j];
        outLeft[j] = leftGain(y, multiplyAdd) * left;
        outRight[j] = rightGain(y, multiplyAdd) * right;
    }
}

// The driver: the stages chunk by chunk, the filter history carried through.
template <class Isa>
[[gnu::always_inline]] inline void processChunks(SmoothingFilter& filter, const BlockSettings& s,
                                                 const StereoBlock& b) {
    static_assert(Isa::kGroup <= kMaxGroup && kChunk % Isa::kGroup == 0);
    // x and xd with the two previous inputs in front; y likewise with the
    // two previous outputs, in double; all with room for whole groups.
    float x[kChunk + 2 + kMaxGroup];
    double xd[kChunk + 2 + kMaxGroup];
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
        const std::int32_t groups = (count + Isa::kGroup - 1) / Isa::kGroup;
        const auto* inputs = filterInputs<Isa>(groups, x, xd);
        y[0] = y2;
        y[1] = y1;
        GroupRecursion<Isa>::run(filter.block(), inputs, groups, y + 2, y1, y2);
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

// Stages 1 to 3 into x[0..count), through the kernel's own buffer (which
// has room for whole vectors).
template <class Isa>
[[gnu::always_inline]] inline void panTargetsInto(const BlockSettings& s, std::int32_t first,
                                                  std::int32_t count, float* x) {
    float buffer[kChunk + kMaxGroup];
    for (std::int32_t done = 0; done < count; done += kChunk) {
        const std::int32_t n = count - done < kChunk ? count - done : kChunk;
        panTargetsFor<Isa>(s, first + done, n, buffer);
        std::memcpy(x + done, buffer, static_cast<std::size_t>(n) * sizeof(float));
    }
}

}  // namespace
}  // namespace drifton
