// A straightforward per-sample model of the panner's output, written from
// the description of the algorithm as one plain loop and kept apart from the
// product code. Tests compare the effect against it sample by sample, and
// benchmarks use it as the baseline.
#pragma once

#include <optional>

// What a host reports of its transport for a block, in any plug-in format:
// the song position in quarter notes and the tempo in quarter notes per
// minute when it reports them, and whether it is playing.
struct HostTime {
    std::optional<double> position;
    std::optional<double> tempo;
    bool playing = false;
};

class PanModel {
public:
    // Parameter fields, as the effect stores them (not normalized).
    int periodIndex = 3;  // 0..11
    int waveShape = 1;    // 0 triangle, 1 sine-shaped, 2 square
    float width = 0.75f;
    float phaseShift = 0.0f;  // -1..1 half-cycles

    // Filter history, carried from block to block.
    float x1 = 0.0f, x2 = 0.0f;
    float y1 = 0.0f, y2 = 0.0f;

    // Takes the rate when it is finite and at least 1 Hz; otherwise keeps the last.
    void setSampleRate(float rate);
    float sampleRate() const { return sampleRate_; }

    // One block with the host's transport `time`. Outputs may be the input
    // buffers.
    void process(const HostTime& time, const float* inLeft, const float* inRight, float* outLeft,
                 float* outRight, int frames);

private:
    float sampleRate_ = 44100.0f;
    // Where the previous block ended (modulo 8 beats), and the song position
    // the host reported for it, if any.
    double sweepEnd_ = 0.0;
    bool hadPosition_ = false;
    double previousPosition_ = 0.0;
};
