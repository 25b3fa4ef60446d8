// Stereo buffers for the audio-path measurements: a deterministic noise on
// the left, its negation on the right, separate outputs, and the channel
// arrays a host passes.
#pragma once

#include <cstddef>
#include <vector>

struct Buffers {
    explicit Buffers(int frames)
        : inLeft(static_cast<std::size_t>(frames)),
          inRight(inLeft.size()),
          outLeft(inLeft.size()),
          outRight(inLeft.size()) {
        unsigned state = 1;
        for (std::size_t i = 0; i < inLeft.size(); ++i) {
            state = state * 1664525u + 1013904223u;
            inLeft[i] = static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
            inRight[i] = -inLeft[i];
        }
        inputs[0] = inLeft.data();
        inputs[1] = inRight.data();
        outputs[0] = outLeft.data();
        outputs[1] = outRight.data();
    }
    std::vector<float> inLeft, inRight, outLeft, outRight;
    float* inputs[2];
    float* outputs[2];
};
