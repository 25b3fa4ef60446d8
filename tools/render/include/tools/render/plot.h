// An SVG picture of the left and right gains over time, with a beat and bar
// grid, axes in seconds and beats, a legend and a title.
//
// Memory does not grow with the plotted length: the gains stream into one
// minimum and maximum per pixel column (GainColumns), and the grid and its
// labels are thinned so that they never overlap; the picture holds at most a
// few hundred grid lines and labels at any length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/render/audio_file.h"

namespace render {

// Pixel columns of the plotted area.
inline constexpr int kPlotColumns = 872;

// The smallest and largest gain in one pixel column, and which came first.
struct GainColumn {
    float low = 0.0f;
    float high = 0.0f;
    std::int64_t lowFrame = -1;  // -1: no frame reached this column
    std::int64_t highFrame = -1;
};

// A sink that keeps one GainColumn per channel and pixel column for a stream
// of `totalFrames` frames: column c covers frames [c F / C, (c + 1) F / C),
// and at least one frame (when F < C, columns share frames).
class GainColumns : public Sink {
public:
    explicit GainColumns(std::int64_t totalFrames, int columns = kPlotColumns);
    void write(const float* left, const float* right, std::size_t frames) override;

    std::int64_t totalFrames() const { return total_; }
    const std::vector<GainColumn>& column(int channel) const { return channels_[channel]; }

private:
    std::int64_t begin(std::int64_t column) const;
    std::int64_t end(std::int64_t column) const;
    std::int64_t total_;
    std::int64_t columns_;
    std::int64_t done_ = 0;
    std::int64_t current_ = 0;     // the column of frame done_
    std::int64_t currentEnd_ = 0;  // end(current_)
    std::vector<GainColumn> channels_[2];
};

struct GainPlot {
    std::string title;
    std::string subtitle;
    double sampleRate = 48000.0;
    double tempo = 120.0;
    double startBeat = 0.0;  // song position of the first gain
    int beatsPerBar = 4;
    std::int64_t frames = 0;
    std::vector<GainColumn> left, right;  // kPlotColumns each
};

std::string plotSvg(const GainPlot& plot);

}  // namespace render
