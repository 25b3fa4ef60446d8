#include "tools/render/renderer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/common/cli.h"
#include "tools/render/effect.h"

namespace render {

BlockSizer BlockSizer::random(std::uint32_t seed) {
    BlockSizer sizer(kMaxRandomBlock);
    sizer.random_ = true;
    sizer.generator_.seed(seed);
    return sizer;
}

int BlockSizer::next() {
    if (!random_) {
        return fixed_;
    }
    // mt19937's output is fixed by the standard, unlike the distributions.
    return static_cast<int>(generator_() % static_cast<std::uint32_t>(kMaxRandomBlock)) + 1;
}

float Automation::valueAt(double beat) const {
    if (points.empty()) {
        return 0.0f;
    }
    if (beat <= points.front().beat) {
        return points.front().value;
    }
    for (std::size_t i = 1; i < points.size(); ++i) {
        const Point& a = points[i - 1];
        const Point& b = points[i];
        if (beat < b.beat) {
            const double t = (beat - a.beat) / (b.beat - a.beat);
            return static_cast<float>(static_cast<double>(a.value) +
                                      t * static_cast<double>(b.value - a.value));
        }
    }
    return points.back().value;
}

bool Automation::movingAt(double beat) const {
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (beat >= points[i - 1].beat && beat < points[i].beat) {
            return points[i - 1].value != points[i].value;
        }
    }
    return false;
}

double positionOf(const Transport& transport, double sampleRate, std::int64_t frame) {
    return transport.start + static_cast<double>(frame) * (transport.tempo / 60.0) / sampleRate;
}

void Statistics::add(const float* left, const float* right, std::size_t count) {
    // Branch-free, in eight float lanes per block, so that the compiler can
    // vectorise it: this runs over every rendered sample.
    constexpr std::size_t kLanes = 8;
    const float* channels[2] = {left, right};
    for (int c = 0; c < 2; ++c) {
        float peakLane[kLanes] = {};
        float sumLane[kLanes] = {};
        std::int32_t badLane[kLanes] = {};
        std::int32_t overLane[kLanes] = {};
        const float* x = channels[c];
        const std::size_t whole = count - count % kLanes;
        const auto lane = [&](std::size_t j, float value) {
            const float magnitude = std::fabs(value);
            const bool finite = magnitude <= std::numeric_limits<float>::max();  // false for NaN
            const float kept = finite ? magnitude : 0.0f;
            badLane[j] += finite ? 0 : 1;
            overLane[j] += kept > 1.0f ? 1 : 0;
            peakLane[j] = std::max(peakLane[j], kept);
            sumLane[j] += kept * kept;
        };
        for (std::size_t i = 0; i < whole; i += kLanes) {
            for (std::size_t j = 0; j < kLanes; ++j) {
                lane(j, x[i + j]);
            }
        }
        for (std::size_t i = whole; i < count; ++i) {
            lane(0, x[i]);
        }
        for (std::size_t j = 0; j < kLanes; ++j) {
            peak[c] = std::max(peak[c], static_cast<double>(peakLane[j]));
            sumOfSquares[c] += static_cast<double>(sumLane[j]);
            nonFinite += badLane[j];
            clipped += overLane[j];
        }
    }
    frames += static_cast<std::int64_t>(count);
}

double Statistics::rms(int channel) const {
    return frames > 0 ? std::sqrt(sumOfSquares[channel] / static_cast<double>(frames)) : 0.0;
}

namespace {

// The first frame whose song position is at or after `beat`, found by
// bisection over the frames a render can reach (positions never decrease with
// the frame), so any beat and start take at most 63 steps; kNever when no
// frame gets there (a beat beyond any render, or a start so large that adding
// frames no longer moves the position).
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

std::int64_t firstFrameAt(const Transport& transport, double rate, double beat) {
    std::int64_t low = 0;
    std::int64_t high = std::int64_t{1} << 62;
    if (positionOf(transport, rate, high) < beat) {
        return kNever;
    }
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        if (positionOf(transport, rate, middle) >= beat) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

}  // namespace

void openInstance(vsthost::Instance& instance, double sampleRate, int maxBlock) {
    instance.dispatch(effOpen);
    instance.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    instance.dispatch(effSetBlockSize, 0, maxBlock);
}

Statistics renderSession(Effect& effect, const RenderPlan& plan, Source& source, Sink& sink,
                         const RenderHooks& hooks) {
    const double rate = source.sampleRate();
    const Transport& transport = plan.transport;
    BlockSizer blocks = plan.blocks;
    const int maxBlock = blocks.maxBlock();
    effect.begin(rate, maxBlock, transport, plan.settings);

    // Frames at which an automation point falls: blocks are split there so
    // that the point's value applies from its exact frame.
    std::vector<std::int64_t> pointFrames;
    for (const Automation& automation : plan.automations) {
        for (const Automation::Point& point : automation.points) {
            const std::int64_t frame = firstFrameAt(transport, rate, point.beat);
            if (frame != kNever) {
                pointFrames.push_back(frame);
            }
        }
    }
    std::sort(pointFrames.begin(), pointFrames.end());
    std::vector<float> lastSent(plan.automations.size(), std::nanf(""));

    vsthost::StereoBuffer input(static_cast<std::size_t>(maxBlock));
    vsthost::StereoBuffer output(static_cast<std::size_t>(maxBlock));
    Statistics statistics;
    std::int64_t done = 0;
    int hostBlockLeft = 0;
    while (true) {
        if (hooks.cancelled && hooks.cancelled()) {
            throw tools::ToolError("interrupted");
        }
        if (hostBlockLeft == 0) {
            hostBlockLeft = blocks.next();
        }
        const double position = positionOf(transport, rate, done);
        std::int64_t frames = hostBlockLeft;
        const auto nextPoint = std::upper_bound(pointFrames.begin(), pointFrames.end(), done);
        if (nextPoint != pointFrames.end()) {
            frames = std::min(frames, *nextPoint - done);
        }
        for (std::size_t a = 0; a < plan.automations.size(); ++a) {
            const Automation& automation = plan.automations[a];
            if (automation.movingAt(position)) {
                frames = std::min<std::int64_t>(frames, kRampStep);
            }
        }

        const std::size_t wanted = static_cast<std::size_t>(frames);
        const std::size_t got = source.read(input.channel(0), input.channel(1), wanted);
        if (got == 0) {
            break;
        }
        for (std::size_t a = 0; a < plan.automations.size(); ++a) {
            const float value = plan.automations[a].valueAt(position);
            if (value != lastSent[a]) {
                effect.setParameter(plan.automations[a].parameter, value);
                lastSent[a] = value;
            }
        }
        effect.process(input.channel(0), input.channel(1), output.channel(0), output.channel(1),
                       static_cast<int>(got), transport, position, done);
        statistics.add(output.channel(0), output.channel(1), got);
        sink.write(output.channel(0), output.channel(1), got);

        done += static_cast<std::int64_t>(got);
        hostBlockLeft -= static_cast<int>(got);
        if (hooks.progress) {
            hooks.progress(done);
        }
        if (got < wanted) {
            break;
        }
    }

    effect.end();
    return statistics;
}

std::size_t ConstantSource::read(float* left, float* right, std::size_t frames) {
    const auto count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(frames), frames_ - done_));
    std::fill_n(left, count, value_);
    std::fill_n(right, count, value_);
    done_ += static_cast<std::int64_t>(count);
    return count;
}

}  // namespace render
