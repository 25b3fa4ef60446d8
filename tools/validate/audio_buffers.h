// Planar audio as hosts pass it, and the invariants every processed block
// must keep.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "rng.h"

namespace validate {

// Planar float channels with the pointer arrays a host passes: one pointer
// per input and per output the plug-in declares.
class AudioBuffers {
public:
    AudioBuffers(int inputs, int outputs, std::size_t frames);
    float** in() { return inPointers_.data(); }
    float** out() { return outPointers_.data(); }
    std::vector<float>& inChannel(std::size_t c) { return in_[c]; }
    std::vector<float>& outChannel(std::size_t c) { return out_[c]; }
    int inputs() const { return static_cast<int>(in_.size()); }
    int outputs() const { return static_cast<int>(out_.size()); }
    std::size_t frames() const { return frames_; }
    // Input: noise in -1..1 with short silent stretches; output: a fill the
    // plug-in must overwrite.
    void fillNoise(Rng& rng);
    void fillOutputs(float value);

private:
    std::size_t frames_;
    std::vector<std::vector<float>> in_;
    std::vector<std::vector<float>> out_;
    std::vector<float*> inPointers_;
    std::vector<float*> outPointers_;
};

bool isSubnormal(float value);
std::string describeFloat(float value);
std::string describeDouble(double value);

// First problem in one processed block of `outputs`: a sample that is not
// finite or is subnormal, or, with maxGain > 0, above maxGain x |input| on
// the input channel of the same number (outputs without one are not bound).
std::string auditBlock(float* const* outputs, int outputCount, float* const* inputs, int inputCount,
                       std::size_t frames, double maxGain);
std::string auditBlock(AudioBuffers& buffers, std::size_t frames, double maxGain);

// Interesting float values for parameters, opt and rates.
std::vector<float> edgeFloats();

}  // namespace validate
