#include "plugin_runner.h"

#include <algorithm>

#include "engine/parameter_table.h"

namespace pantest {

const VstTimeInfo* timeRecordFor(const Scenario& s, const BlockTime& time, VstTimeInfo& info) {
    if (s.time == TimeMode::kNullRecord) {
        return nullptr;
    }
    info.ppqPos = time.position;
    info.tempo = time.tempo;
    info.flags = (time.reported.position ? kVstPpqPosValid : 0) |
                 (time.reported.tempo ? kVstTempoValid : 0) |
                 (time.reported.playing ? kVstTransportPlaying : 0);
    return &info;
}

Stereo runPlugin(vsthost::EntryPoint entry, vsthost::Host& host, const Scenario& s,
                 const Stereo& input) {
    Stereo out{input.left, input.right};
    std::vector<float> inLeft = input.left, inRight = input.right;
    auto instance = vsthost::Instance::create(entry, host);
    if (instance == nullptr) {
        return Stereo{};
    }
    instance->dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    instance->dispatch(effMainsChanged, 0, 1);
    if (!s.inPlace) {
        std::fill(out.left.begin(), out.left.end(), 0.0f);
        std::fill(out.right.begin(), out.right.end(), 0.0f);
    }
    host.setRecording(false);
    VstTimeInfo& info = host.timeInfo();
    drive(
        s, [&](float rate) { instance->dispatch(effSetSampleRate, 0, 0, nullptr, rate); },
        [&](const PanParameters& c) {
            // Field values through the host's normalized values.
            instance->setParameter(drifton::kPeriod, static_cast<float>(c.periodIndex) / 11.0f);
            instance->setParameter(drifton::kWaveShape, static_cast<float>(c.waveShape) * 0.5f);
            instance->setParameter(drifton::kWidth, c.width);
            instance->setParameter(drifton::kPhaseShift, (c.phaseShift + 1.0f) * 0.5f);
        },
        [&](int offset, int frames, const BlockTime& blockTime) {
            const VstTimeInfo* time = timeRecordFor(s, blockTime, info);
            host.setTimeInfoAvailable(time != nullptr);
            const auto at = static_cast<std::size_t>(offset);
            float* outputs[] = {out.left.data() + at, out.right.data() + at};
            float* inputs[] = {inLeft.data() + at, inRight.data() + at};
            instance->processReplacing(s.inPlace ? outputs : inputs, outputs, frames);
        });
    host.setTimeInfoAvailable(true);
    host.setRecording(true);
    return out;
}

}  // namespace pantest
