// The audio path: every sample's pan position comes from the host's song
// position and tempo (or, when the song stands still or has no position, from
// where the sweep got to), is smoothed, and sets the two channel gains. The
// block kernel does the work; the per-sample loop takes positions beyond its
// range.
#include <cmath>
#include <cstddef>
#include <optional>

#include "panner/drifton_vst.h"
#include "engine/pan_block_kernel.h"
#include "engine/pan_oscillator.h"
#include "engine/pan_sample_loop.h"
#include "engine/smoothing_filter.h"
#include "engine/sweep_clock.h"

namespace {

constexpr double kDefaultTempo = 120.0;
constexpr VstInt32 kTimeRequest = kVstPpqPosValid | kVstTempoValid;
constexpr double kLargestFloat = 3.4028234663852886e38;

// Whatever finite or non-finite values the host sends, every position the
// oscillator sees is a finite float, so the output is finite:
//  - a missing record, a cleared flag, a value that is not finite and a tempo
//    of zero or less count as missing: the tempo is then 120, and the sweep
//    runs on from where the previous block ended (0 for the first block), as
//    it does when the position stands still while the transport is stopped;
//  - a start position below 0 or above the float range is brought into one
//    cycle (the floored remainder), as a count-in is;
//  - a block whose positions would pass the float range holds its start
//    position for the whole block (only absurd tempos get there, since rates
//    below 1 Hz never reach processing).
struct Transport {
    std::optional<double> position;
    double tempo = kDefaultTempo;
    bool playing = false;
};

Transport readTransport(const VstTimeInfo* time) {
    Transport transport;
    if (time == nullptr) {
        return transport;
    }
    transport.playing = (time->flags & kVstTransportPlaying) != 0;
    if ((time->flags & kVstPpqPosValid) != 0 && std::isfinite(time->ppqPos)) {
        transport.position = time->ppqPos;
    }
    if ((time->flags & kVstTempoValid) != 0 && std::isfinite(time->tempo) && time->tempo > 0.0) {
        transport.tempo = time->tempo;
    }
    return transport;
}

}  // namespace

void DriftonVST::replacingBlockSkipped() {
    // The host still sees its one time request for the block.
    getTimeInfo(kTimeRequest);
}

void DriftonVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    // Every parameter is read once, here: a change made on another thread
    // applies from the next block on.
    drifton::BlockSettings settings;
    const auto division = drifton::PeriodTable[static_cast<std::size_t>(
        parameters.periodIndex.load(std::memory_order_relaxed))];
    settings.halfCycle = drifton::halfCycleBeats(division);
    settings.cycle = 2.0f * settings.halfCycle;
    settings.waveShape = parameters.waveShape.load(std::memory_order_relaxed);
    settings.width = parameters.width.load(std::memory_order_relaxed);
    settings.phaseShift = parameters.phaseShift.load(std::memory_order_relaxed);

    const Transport transport = readTransport(getTimeInfo(kTimeRequest));
    const double rate = static_cast<double>(processingRate.load(std::memory_order_relaxed));
    double beatsPerSample = 1.0 / (rate / (transport.tempo / 60.0));

    const double start = drifton::wrapStartPosition(
        sweepClock.blockStart(transport.position, transport.playing), settings.cycle);
    double end = start + static_cast<double>(sampleFrames) * beatsPerSample;
    // The position would leave the float range within the block: hold it.
    if (!(end <= kLargestFloat)) {
        beatsPerSample = 0.0;
        end = start;
    }
    sweepClock.blockEnded(end);
    settings.start = start;
    settings.beatsPerSample = beatsPerSample;

    const drifton::StereoBlock block{inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames};
    if (end < drifton::kBlockPositionLimit) {
        drifton::processPanBlock(kernelPath, filter, settings, block);
    } else {
        drifton::processSampleBySample(filter, settings, block);
    }
}
