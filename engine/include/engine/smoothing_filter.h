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

// The filter rearranged for groups of samples, for the block kernel. The
// filter y[n] = b1 x[n-1] + b0 x[n] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2]
// (every coefficient divided by a0) is linear, so a group of outputs follows
// from the group's inputs and the two inputs and two outputs before it:
//   y[n+k] = sum_{j<=k} h[k-j] x[n+j]
//            + fromInputLast[k] x[n-1] + fromInputSecondLast[k] x[n-2]
//            + fromLast[k] y[n-1] + fromSecondLast[k] y[n-2]
// with h the filter's impulse response and the other four its responses to
// the history. Computed once in double from the same float quotients the
// per-sample step uses; the kernel runs it in double, so its outputs are the
// exact filter's to about 1e-15.
struct BlockResponses {
    static constexpr int kMaxGroup = 8;

    // kMaxGroup zeros, then h[0..kMaxGroup): for a group of L outputs, the
    // column of the group's matrix that multiplies x[n+j] is the L values
    // starting at kMaxGroup - j.
    double impulse[2 * kMaxGroup] = {};
    double fromInputLast[kMaxGroup] = {};
    double fromInputSecondLast[kMaxGroup] = {};
    double fromLast[kMaxGroup] = {};
    double fromSecondLast[kMaxGroup] = {};
};

// The filter's one home: the coefficients computed at construction, the
// history processing carries from block to block, and what both ways of
// processing derive from the coefficients once (the per-sample step's
// quotients and the kernel's block responses).
class SmoothingFilter {
public:
    explicit SmoothingFilter(const SmoothingCoefficients& c)
        : a0(c.a0),
          a1(c.a1),
          a2(c.a2),
          b0(c.b0),
          b1(c.b1),
          b2(c.b2),
          b1_(c.b1 / c.a0),
          b0_(c.b0 / c.a0),
          b2_(c.b2 / c.a0),
          a1_(c.a1 / c.a0),
          a2_(c.a2 / c.a0),
          block_(blockResponses(b0_, b1_, b2_, a1_, a2_)) {}

    // The per-sample step: each coefficient divided by a0 on its own (once,
    // at construction) and the five terms summed left to right in float.
    float step(float x) {
        const float y = b1_ * x1 + b0_ * x + b2_ * x2 - a1_ * y1 - a2_ * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

    // Always inlined: the kernel paths, each built for its own instruction
    // set, must not leave a copy of it out of line.
    [[gnu::always_inline]] const BlockResponses& block() const { return block_; }

    // Coefficients, fixed for the filter's life.
    const float a0, a1, a2;
    const float b0, b1, b2;
    // Last and second-last outputs and inputs.
    float y1 = 0.0f, y2 = 0.0f;
    float x1 = 0.0f, x2 = 0.0f;

private:
    static BlockResponses blockResponses(float b0, float b1, float b2, float a1, float a2) {
        const double c[5] = {static_cast<double>(b0), static_cast<double>(b1),
                             static_cast<double>(b2), static_cast<double>(a1),
                             static_cast<double>(a2)};
        // The filter's response to a unit x[0], x[-1], x[-2], y[-1] or y[-2],
        // everything else zero.
        const auto respond = [&c](double now, double last, double secondLast, double outLast,
                                  double outSecondLast, double* out) {
            for (int k = 0; k < BlockResponses::kMaxGroup; ++k) {
                const double y = c[1] * last + c[0] * now + c[2] * secondLast - c[3] * outLast -
                                 c[4] * outSecondLast;
                out[k] = y;
                secondLast = last;
                last = now;
                now = 0.0;
                outSecondLast = outLast;
                outLast = y;
            }
        };
        BlockResponses r;
        respond(1.0, 0.0, 0.0, 0.0, 0.0, r.impulse + BlockResponses::kMaxGroup);
        respond(0.0, 1.0, 0.0, 0.0, 0.0, r.fromInputLast);
        respond(0.0, 0.0, 1.0, 0.0, 0.0, r.fromInputSecondLast);
        respond(0.0, 0.0, 0.0, 1.0, 0.0, r.fromLast);
        respond(0.0, 0.0, 0.0, 0.0, 1.0, r.fromSecondLast);
        return r;
    }

    float b1_, b0_, b2_, a1_, a2_;
    BlockResponses block_;
};

}  // namespace drifton
