// The built-in demo: eight bars of a steady groove (kick, hi-hat, bass and a
// sixteenth-note arpeggio over A minor, F, C, G), generated in code at 48 kHz,
// the same in both channels so that the panning is all one hears move.
#pragma once

#include <cstdint>

#include "tools/render/audio_file.h"

namespace render {

class DemoSource : public Source {
public:
    static constexpr double kSampleRate = 48000.0;
    static constexpr int kBars = 8;

    explicit DemoSource(double tempo);
    std::size_t read(float* left, float* right, std::size_t frames) override;
    double sampleRate() const override { return kSampleRate; }
    std::int64_t totalFrames() const override { return total_; }

    // The mix at frame `n` (deterministic, pure).
    float sampleAt(std::int64_t n) const;

private:
    double beatSeconds_;
    std::int64_t total_;
    std::int64_t done_ = 0;
};

}  // namespace render
