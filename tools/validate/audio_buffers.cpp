#include "audio_buffers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace validate {

AudioBuffers::AudioBuffers(int inputs, int outputs, std::size_t frames) : frames_(frames) {
    in_.assign(static_cast<std::size_t>(std::max(inputs, 0)), std::vector<float>(frames, 0.0f));
    out_.assign(static_cast<std::size_t>(std::max(outputs, 0)), std::vector<float>(frames, 0.0f));
    for (auto& channel : in_) {
        inPointers_.push_back(channel.data());
    }
    for (auto& channel : out_) {
        outPointers_.push_back(channel.data());
    }
    // A plug-in reading one channel too far finds a null pointer rather
    // than whatever follows.
    inPointers_.push_back(nullptr);
    outPointers_.push_back(nullptr);
}

void AudioBuffers::fillNoise(Rng& rng) {
    for (auto& channel : in_) {
        const std::size_t silenceFrom =
            static_cast<std::size_t>(rng.between(0, static_cast<std::int64_t>(frames_)));
        const std::size_t silenceLength = static_cast<std::size_t>(rng.between(0, 64));
        for (std::size_t i = 0; i < frames_; ++i) {
            const bool silent = i >= silenceFrom && i < silenceFrom + silenceLength;
            channel[i] = silent ? 0.0f : static_cast<float>(rng.uniform(-1.0, 1.0));
        }
    }
}

void AudioBuffers::fillOutputs(float value) {
    for (auto& channel : out_) {
        std::fill(channel.begin(), channel.end(), value);
    }
}

bool isSubnormal(float value) { return std::fpclassify(value) == FP_SUBNORMAL; }

std::string describeFloat(float value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string describeDouble(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string auditBlock(float* const* outputs, int outputCount, float* const* inputs, int inputCount,
                       std::size_t frames, double maxGain) {
    for (int c = 0; c < outputCount; ++c) {
        const float* out = outputs[c];
        const float* source = c < inputCount ? inputs[c] : nullptr;
        for (std::size_t i = 0; i < frames; ++i) {
            const float y = out[i];
            const bool finite = std::isfinite(y);
            const bool subnormal = isSubnormal(y);
            const bool aboveBound = maxGain > 0.0 && source != nullptr &&
                                    std::fabs(static_cast<double>(y)) >
                                        maxGain * std::fabs(static_cast<double>(source[i]));
            if (finite && !subnormal && !aboveBound) {
                continue;
            }
            const std::string where = "output " + std::to_string(c) + " frame " + std::to_string(i);
            if (!finite) {
                return where + " is " + describeFloat(y) + " for finite input";
            }
            if (subnormal) {
                return where + " is subnormal (" + describeFloat(y) + ")";
            }
            return where + " is " + describeFloat(y) + ", above " + describeDouble(maxGain) +
                   " x input " + describeFloat(source[i]);
        }
    }
    return "";
}

std::string auditBlock(AudioBuffers& buffers, std::size_t frames, double maxGain) {
    return auditBlock(buffers.out(), buffers.outputs(), buffers.in(), buffers.inputs(), frames,
                      maxGain);
}

std::vector<float> edgeFloats() {
    constexpr float inf = std::numeric_limits<float>::infinity();
    return {0.0f,
            -0.0f,
            1.0f,
            0.5f,
            -1.0f,
            2.0f,
            1e30f,
            -1e30f,
            std::numeric_limits<float>::max(),
            std::numeric_limits<float>::lowest(),
            std::numeric_limits<float>::quiet_NaN(),
            -std::numeric_limits<float>::quiet_NaN(),
            inf,
            -inf,
            std::numeric_limits<float>::denorm_min(),
            -std::numeric_limits<float>::denorm_min(),
            std::numeric_limits<float>::min() / 2.0f,
            std::nextafter(1.0f, 2.0f),
            std::nextafter(0.0f, -1.0f),
            std::nextafter(1.0f, 0.0f)};
}

}  // namespace validate
