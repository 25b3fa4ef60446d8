// An SVG picture of the left and right gains over time, with a beat and bar
// grid, axes in seconds and beats, a legend and a title.
#pragma once

#include <string>
#include <vector>

namespace render {

struct GainPlot {
    std::string title;
    std::string subtitle;
    double sampleRate = 48000.0;
    double tempo = 120.0;
    double startBeat = 0.0;  // song position of the first gain
    int beatsPerBar = 4;
    std::vector<float> left, right;  // gains, one per frame
};

std::string plotSvg(const GainPlot& plot);

}  // namespace render
