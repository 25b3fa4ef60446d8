// The audio path: every sample's pan position comes from the host's song
// position and tempo, is smoothed, and sets the two channel gains.
#include <cmath>
#include <cstddef>

#include "panner/denormal_guard.h"
#include "panner/drifton_vst.h"
#include "panner/pan_oscillator.h"
#include "panner/smoothing_filter.h"

namespace {

constexpr double kDefaultTempo = 120.0;
constexpr double kLargestFloat = 3.4028234663852886e38;

// The block's start position and tempo. A missing record, a cleared flag, a
// value that is not finite and a tempo of zero or less all give the defaults.
struct Transport {
    double start = 0.0;
    double tempo = kDefaultTempo;
};

Transport readTransport(const VstTimeInfo* time) {
    Transport transport;
    if (time == nullptr) {
        return transport;
    }
    if ((time->flags & kVstPpqPosValid) != 0 && std::isfinite(time->ppqPos)) {
        transport.start = time->ppqPos;
    }
    if ((time->flags & kVstTempoValid) != 0 && std::isfinite(time->tempo) && time->tempo > 0.0) {
        transport.tempo = time->tempo;
    }
    return transport;
}

bool hasStereoChannels(float** inputs, float** outputs) {
    return inputs != nullptr && outputs != nullptr && inputs[0] != nullptr &&
           inputs[1] != nullptr && outputs[0] != nullptr && outputs[1] != nullptr;
}

}  // namespace

void DriftonVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const auto division =
        PeriodTable[static_cast<std::size_t>(periodIndex.load(std::memory_order_relaxed))];
    const float halfCycle = drifton::halfCycleBeats(division);
    const float cycle = 2.0f * halfCycle;

    const Transport transport = readTransport(getTimeInfo(kVstPpqPosValid | kVstTempoValid));
    const double rate = static_cast<double>(processingRate.load(std::memory_order_relaxed));
    double beatsPerSample = 1.0 / (rate / (transport.tempo / 60.0));

    if (sampleFrames <= 0 || !hasStereoChannels(inputs, outputs)) {
        return;
    }
    const double start = drifton::wrapStartPosition(transport.start, cycle);
    // Only absurd tempos or rates get here: the position would leave the float
    // range within the block, so it stands still instead.
    if (!(start + static_cast<double>(sampleFrames) * beatsPerSample <= kLargestFloat)) {
        beatsPerSample = 0.0;
    }

    const DenormalGuard flushSubnormals;
    const drifton::SmoothingFilter filter(drifton::SmoothingCoefficients{a0, a1, a2, b0, b1, b2});
    drifton::SmoothingHistory history{x1, x2, y1, y2};
    const float* inLeft = inputs[0];
    const float* inRight = inputs[1];
    float* outLeft = outputs[0];
    float* outRight = outputs[1];

    for (VstInt32 i = 0; i < sampleFrames; ++i) {
        const float position = drifton::positionInCycle(i, beatsPerSample, start, cycle);
        const float phase =
            drifton::phaseAt(position, halfCycle, phaseShift.load(std::memory_order_relaxed));
        const float value = drifton::shapeValue(waveShape.load(std::memory_order_relaxed), phase);
        const float pan =
            filter.step(drifton::panTarget(value, width.load(std::memory_order_relaxed)), history);
        // Both inputs are read before either output is written, so outputs
        // may share buffers with inputs.
        const float left = inLeft[i];
        const float right = inRight[i];
        outLeft[i] = drifton::panGain(1.0f - pan) * left * outputGain;
        outRight[i] = drifton::panGain(pan) * right * outputGain;
    }

    x1 = history.x1;
    x2 = history.x2;
    y1 = history.y1;
    y2 = history.y2;
}
