// The render loop: drives one effect instance over a source block by block as
// a DAW does, with the host transport, block sizes and parameter automation
// of a plan, and hands each processed block to a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "host/vst_host.h"
#include "tools/render/audio_file.h"

namespace render {

// Host block sizes: a fixed size, or sizes drawn from 1..4096 by a seeded
// generator (the same seed gives the same sizes everywhere).
class BlockSizer {
public:
    static constexpr int kMaxRandomBlock = 4096;
    explicit BlockSizer(int fixed = 512) : fixed_(fixed) {}
    static BlockSizer random(std::uint32_t seed);

    int next();
    int maxBlock() const { return random_ ? kMaxRandomBlock : fixed_; }

private:
    int fixed_;
    bool random_ = false;
    std::mt19937 generator_;
};

// The song as the host reports it: tempo and the position of the first frame
// in beats, or no time information at all.
struct Transport {
    double tempo = 120.0;
    double start = 0.0;
    bool available = true;
};

// A parameter moving over time: normalised values at beats, linear between
// points, the first value before the first point and the last after the last.
struct Automation {
    struct Point {
        double beat;
        float value;
    };
    int parameter = 0;
    std::vector<Point> points;  // in order of beat

    float valueAt(double beat) const;
    // True when the value changes right after `beat`.
    bool movingAt(double beat) const;
};

// While a parameter ramps, blocks are split so that it is updated at least
// this often (in frames).
inline constexpr int kRampStep = 32;

struct RenderPlan {
    Transport transport;
    BlockSizer blocks;
    std::vector<std::pair<int, float>> settings;  // parameter, normalised value
    std::vector<Automation> automations;
};

// Song position in beats of frame `frame`.
double positionOf(const Transport& transport, double sampleRate, std::int64_t frame);

// Peak, RMS and problem samples of what was rendered, per channel.
struct Statistics {
    std::int64_t frames = 0;
    double peak[2] = {0.0, 0.0};
    double sumOfSquares[2] = {0.0, 0.0};
    std::int64_t nonFinite = 0;
    std::int64_t clipped = 0;  // finite samples beyond full scale (|x| > 1)

    void add(const float* left, const float* right, std::size_t frames);
    double rms(int channel) const;
};

struct RenderHooks {
    std::function<void(std::int64_t framesDone)> progress;
    std::function<bool()> cancelled;  // polled per block; true stops with a ToolError
};

// Opens a fresh instance as hosts do right after creating it (effOpen, then
// the sample rate and the largest block), before anything asks it for
// parameters or texts: many plug-ins answer those only once open.
void openInstance(vsthost::Instance& instance, double sampleRate, int maxBlock);

class Effect;

// Prepares an effect for a session at the source's rate (rate, block size,
// parameter settings, resume), renders the whole source and suspends it.
// Returns the statistics of the output.
Statistics renderSession(Effect& effect, const RenderPlan& plan, Source& source, Sink& sink,
                         const RenderHooks& hooks = {});

// A source of one constant value on both channels, for probing the gains.
class ConstantSource : public Source {
public:
    ConstantSource(float value, std::int64_t frames, double sampleRate)
        : value_(value), frames_(frames), rate_(sampleRate) {}
    std::size_t read(float* left, float* right, std::size_t frames) override;
    double sampleRate() const override { return rate_; }
    std::int64_t totalFrames() const override { return frames_; }

private:
    float value_;
    std::int64_t frames_;
    std::int64_t done_ = 0;
    double rate_;
};

}  // namespace render
