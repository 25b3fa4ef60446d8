// The pan oscillator and pan law, one sample at a time. The mix of float and
// double steps is deliberate: positions and phase ratios are formed in double
// and rounded once, everything else stays in float. No host types.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace drifton {

inline constexpr double kHalfPi = 1.5707963267948966;

// The oscillator shape: the parameter "Type", the field `waveShape`, the
// settings' `waveShape`.
enum WaveShape : std::int32_t { kTriangle = 0, kSineShaped = 1, kSquare = 2 };

// Length of a half-cycle in beats for the note division 1/division.
inline float halfCycleBeats(std::int32_t division) { return 4.0f / static_cast<float>(division); }

// A block's start position brought into one cycle when it is negative (a
// count-in) or too large for a float; other positions are used as they are.
// The floored remainder keeps the oscillator's phase where it belongs.
inline double wrapStartPosition(double start, float cycle) {
    constexpr double kLargestFloat = 3.4028234663852886e38;
    if (start >= 0.0 && start <= kLargestFloat) {
        return start;
    }
    double wrapped = std::fmod(start, static_cast<double>(cycle));
    if (wrapped < 0.0) {
        wrapped += static_cast<double>(cycle);
    }
    return wrapped;
}

// Position within the cycle of sample `index` of a block.
inline float positionInCycle(std::int32_t index, double beatsPerSample, double start, float cycle) {
    return std::fmod(static_cast<float>(static_cast<double>(index) * beatsPerSample + start),
                     cycle);
}

// Phase in half-cycles, 0..2, for a position within the cycle. The 2.0 keeps
// the remainder's dividend positive for shifts down to -1.
inline float phaseAt(float position, float halfCycle, float shift) {
    const float halfCycles =
        static_cast<float>(static_cast<double>(position) / static_cast<double>(halfCycle));
    return std::fmod(halfCycles + 2.0f + shift, 2.0f);
}

// The side of a phase in 0..2: the first half-cycle swings left (-1), the
// second right (+1).
[[gnu::always_inline]] inline float sideOf(float phase) { return phase < 1.0f ? -1.0f : 1.0f; }

// The triangle within the half-cycle of a phase in 0..2: 0 -> 1 -> 0. The
// remainder by 1 subtracts 1 or nothing, exactly (Sterbenz), as fmodf would.
[[gnu::always_inline]] inline float triangleRise(float phase) {
    const float m = phase >= 1.0f ? phase - 1.0f : phase;
    return m < 0.5f ? 2.0f * m : 2.0f - 2.0f * m;
}

// Oscillator value, -1 (left) .. 1 (right), for a phase in 0..2. An unknown
// shape holds the centre.
inline float shapeValue(std::int32_t shape, float phase) {
    const float side = sideOf(phase);
    const float rise = triangleRise(phase);
    switch (shape) {
    case kTriangle:
        return rise * side;
    case kSineShaped:
        return std::sin(static_cast<float>(static_cast<double>(rise) * kHalfPi)) * side;
    case kSquare:
        return side;
    default:
        return 0.0f;
    }
}

// Filter input for an oscillator value: 0 full left, 0.5 centre, 1 full right.
[[gnu::always_inline]] inline float panTarget(float value, float width) {
    return value * width * 0.5f + 0.5f;
}

// Gain applied after the sine pan law so that the centre passes at unity:
// the float square root of 2.
inline constexpr float outputGain = 1.41421354f;
static_assert(std::bit_cast<std::uint32_t>(outputGain) == 0x3FB504F3u);

// Sine pan law: the gain of a channel whose share of the pan is `share`
// (1 - pan for the left channel, pan for the right).
inline float panGain(float share) {
    return std::sin(static_cast<float>(static_cast<double>(share) * kHalfPi));
}

}  // namespace drifton
