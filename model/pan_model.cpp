#include "model/pan_model.h"

#include <cmath>

namespace {

const int kDivisions[12] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64};
const double kHalfPi = 1.5707963267948966;
const float kGain = std::sqrt(2.0f);
const double kLargestFloat = 3.4028234663852886e38;  // FLT_MAX

// The effect runs with subnormals flushed to zero; the model flushes the
// values it keeps and hands out.
float flushed(float value) { return std::fpclassify(value) == FP_SUBNORMAL ? 0.0f : value; }

}  // namespace

void PanModel::setSampleRate(float rate) {
    if (std::isfinite(rate) && rate >= 1.0f) {
        sampleRate_ = rate;
    }
}

void PanModel::process(const HostTime& time, const float* inLeft, const float* inRight,
                       float* outLeft, float* outRight, int frames) {
    // Smoothing filter for 44100 Hz, whatever the current rate.
    const float w = 50265.484f / 44100.0f;
    const float alpha = std::sin(w) / 1.414f;
    const float a0 = 1.0f + alpha;
    const float a1 = -2.0f * std::cos(w);
    const float a2 = 1.0f - alpha;
    const float b1 = 1.0f - std::cos(w);
    const float b0 = (1.0f - std::cos(w)) * 0.5f;
    const float b2 = b0;

    const float h = 4.0f / static_cast<float>(kDivisions[periodIndex]);
    const float H = 2.0f * h;

    bool hasPosition = false;
    bool playing = false;
    double hostPosition = 0.0;
    double tempo = 120.0;
    if (time.position.has_value() && std::isfinite(*time.position)) {
        hasPosition = true;
        hostPosition = *time.position;
    }
    if (time.tempo.has_value() && std::isfinite(*time.tempo) && *time.tempo > 0.0) {
        tempo = *time.tempo;
    }
    playing = time.playing;
    double d = 1.0 / (static_cast<double>(sampleRate_) / (tempo / 60.0));
    if (frames <= 0) {
        return;
    }
    // The host's position leads while it moves or the transport plays; a
    // missing or standing position continues from the previous block's end.
    double p0 = sweepEnd_;
    if (hasPosition && (playing || !hadPosition_ || hostPosition != previousPosition_)) {
        p0 = hostPosition;
    }
    hadPosition_ = hasPosition;
    previousPosition_ = hostPosition;
    // Count-ins and positions beyond the float range start within one cycle.
    if (p0 < 0.0 || p0 > kLargestFloat) {
        p0 = std::fmod(p0, static_cast<double>(H));
        if (p0 < 0.0) {
            p0 += static_cast<double>(H);
        }
    }
    // A block whose positions would leave the float range stands still.
    if (!(p0 + frames * d <= kLargestFloat)) {
        d = 0.0;
    }
    sweepEnd_ = std::fmod(p0 + frames * d, 8.0);

    for (int i = 0; i < frames; ++i) {
        const float q = std::fmod(static_cast<float>(i * d + p0), H);
        const float l = std::fmod(
            static_cast<float>(static_cast<double>(q) / static_cast<double>(h)) + 2.0f + phaseShift,
            2.0f);
        const float s = l < 1.0f ? -1.0f : 1.0f;
        const float m = std::fmod(l, 1.0f);
        const float t = m < 0.5f ? 2.0f * m : 2.0f - 2.0f * m;
        float v = 0.0f;
        if (waveShape == 0) {
            v = t * s;
        } else if (waveShape == 1) {
            v = std::sin(static_cast<float>(static_cast<double>(t) * kHalfPi)) * s;
        } else if (waveShape == 2) {
            v = s;
        }
        const float x = v * width * 0.5f + 0.5f;
        const float y = flushed((b1 / a0) * x1 + (b0 / a0) * x + (b2 / a0) * x2 - (a1 / a0) * y1 -
                                (a2 / a0) * y2);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        const float left = inLeft[i];
        const float right = inRight[i];
        outLeft[i] = flushed(std::sin(static_cast<float>(static_cast<double>(1.0f - y) * kHalfPi)) *
                             left * kGain);
        outRight[i] =
            flushed(std::sin(static_cast<float>(static_cast<double>(y) * kHalfPi)) * right * kGain);
    }
}
