// The second-order low-pass that smooths the pan position before it reaches
// the pan law, so that jumps of the oscillator (the square shape) become short
// glides instead of clicks. Plain floats only; no host types.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace drifton {

// 2 pi x 8000 as the nearest float: the cutoff in radians per second.
inline constexpr float kSmoothingCutoffRadians = 50265.484f;
static_assert(std::bit_cast<std::uint32_t>(kSmoothingCutoffRadians) == 0x4744597Cu);

struct SmoothingCoefficients {
    float a0, a1, a2;
    float b0, b1, b2;
};

// Low-pass at 8000 Hz for the given rate, with the damping 1/1.414.
inline SmoothingCoefficients smoothingCoefficients(float sampleRate) {
    const float w = kSmoothingCutoffRadians / sampleRate;
    const float alpha = std::sin(w) / 1.414f;
    const float cosW = std::cos(w);
    SmoothingCoefficients c{};
    c.a0 = 1.0f + alpha;
    c.a1 = -2.0f * cosW;
    c.a2 = 1.0f - alpha;
    c.b1 = 1.0f - cosW;
    c.b0 = (1.0f - cosW) * 0.5f;
    c.b2 = c.b0;
    return c;
}

// Last and second-last inputs and outputs of the filter.
struct SmoothingHistory {
    float x1, x2;
    float y1, y2;
};

// The filter's per-sample step. Each coefficient is divided by a0 on its own
// (once, here) and the five terms are summed left to right in float.
class SmoothingFilter {
public:
    explicit SmoothingFilter(const SmoothingCoefficients& c)
        : b1_(c.b1 / c.a0),
          b0_(c.b0 / c.a0),
          b2_(c.b2 / c.a0),
          a1_(c.a1 / c.a0),
          a2_(c.a2 / c.a0) {}

    float step(float x, SmoothingHistory& h) const {
        const float y = b1_ * h.x1 + b0_ * x + b2_ * h.x2 - a1_ * h.y1 - a2_ * h.y2;
        h.x2 = h.x1;
        h.x1 = x;
        h.y2 = h.y1;
        h.y1 = y;
        return y;
    }

private:
    float b1_, b0_, b2_, a1_, a2_;
};

}  // namespace drifton
