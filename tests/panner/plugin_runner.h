// Runs the built plug-in file and the per-sample model over the same audio
// and the same host transport, block by block as a host would.
#pragma once

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "host/vst_host.h"
#include "model/pan_model.h"
#include "engine/parameter_table.h"

namespace pantest {

enum class TimeMode { kBoth, kNoTempo, kNoPosition, kNullRecord };

// The four parameter fields, named and valued as the effect stores them
// (drifton::ParameterFields); the one parameter record of the panner tests.
struct PanParameters {
    int periodIndex = 3;
    drifton::WaveShape waveShape = drifton::kSineShaped;
    float width = 0.75f;
    float phaseShift = 0.0f;
};

// Parameters set between blocks: before the first block that starts at or
// after `atFrame`.
struct ParameterChange {
    int atFrame = 0;
    PanParameters parameters;
};

// The host's transport from the first block at or after `atFrame`: its song
// position jumps to `position` (or stays where it is), then advances while
// `rolling` or stands still while stopped.
struct TransportChange {
    int atFrame = 0;
    std::optional<double> position;
    bool rolling = true;
};

// The three shapes, in the order of their values.
inline constexpr drifton::WaveShape kShapes[] = {drifton::kTriangle, drifton::kSineShaped,
                                                 drifton::kSquare};

// The parameters the run starts with, and everything else about it.
struct Scenario : PanParameters {
    double tempo = 120.0;
    double start = 0.0;               // song position of the first block, in beats
    std::vector<int> blocks = {512};  // block sizes, used in turn; 0 is an empty call
    int frames = 4096;
    bool inPlace = false;
    TimeMode time = TimeMode::kBoth;
    int rateChangeAt = -1;  // frame from which newRate applies, -1 for none
    float newRate = 96000.0f;
    // Rates sent right after newRate; processing must ignore them.
    std::vector<float> ignoredRates;
    // What the host reports instead of its running position and tempo, on
    // every block that starts before `reportedUntil`; the running position
    // still advances at `tempo`, and later blocks report it.
    std::optional<double> reportedPosition;
    std::optional<double> reportedTempo;
    int reportedUntil = std::numeric_limits<int>::max();
    std::vector<ParameterChange> changes;  // in order of atFrame
    // Seeks, stops and starts of the transport, in order of atFrame; the
    // host's playing flag is set while rolling when `playingFlag` is.
    std::vector<TransportChange> transport;
    bool playingFlag = false;
};

std::string describe(const Scenario& s);

struct Stereo {
    std::vector<float> left, right;
};

// A deterministic noise signal in -1..1, different on the two channels.
Stereo noise(int frames, unsigned seed = 1);
// The same value on every frame of both channels.
Stereo constant(int frames, float value);

// Output of the plug-in file (a fresh instance) and of the model.
Stereo runPlugin(vsthost::EntryPoint entry, vsthost::Host& host, const Scenario& s,
                 const Stereo& input);
// `finalState`, when given, receives the model as the run leaves it (its
// filter history).
Stereo runModel(const Scenario& s, const Stereo& input, PanModel* finalState = nullptr);

// The one block driver: takes a processor through the scenario's blocks,
// the host transport advancing as a host's would. `setRate(float)`,
// `setFields(const PanParameters&)` and `process(offset, frames, time)` are
// the processor's; `time` is null in TimeMode::kNullRecord.
template <typename SetRate, typename SetFields, typename Process>
void drive(const Scenario& s, VstTimeInfo& info, SetRate setRate, SetFields setFields,
           Process process);

// Largest absolute difference over both channels.
double maxDifference(const Stereo& a, const Stereo& b);

// The time record flags of a TimeMode.
inline VstInt32 flagsFor(TimeMode mode) {
    switch (mode) {
    case TimeMode::kNoTempo:
        return kVstPpqPosValid;
    case TimeMode::kNoPosition:
        return kVstTempoValid;
    default:
        return kVstPpqPosValid | kVstTempoValid;
    }
}

template <typename SetRate, typename SetFields, typename Process>
void drive(const Scenario& s, VstTimeInfo& info, SetRate setRate, SetFields setFields,
           Process process) {
    double rate = 44100.0;
    double position = s.start;
    bool rateChanged = false;
    bool rolling = true;
    std::size_t blockIndex = 0;
    std::size_t nextChange = 0;
    std::size_t nextTransport = 0;
    setFields(static_cast<const PanParameters&>(s));
    for (int done = 0; done < s.frames;) {
        while (nextChange < s.changes.size() && s.changes[nextChange].atFrame <= done) {
            setFields(s.changes[nextChange++].parameters);
        }
        if (s.rateChangeAt >= 0 && !rateChanged && done >= s.rateChangeAt) {
            setRate(s.newRate);
            for (const float ignored : s.ignoredRates) {
                setRate(ignored);
            }
            rate = static_cast<double>(s.newRate);
            rateChanged = true;
        }
        while (nextTransport < s.transport.size() && s.transport[nextTransport].atFrame <= done) {
            position = s.transport[nextTransport].position.value_or(position);
            rolling = s.transport[nextTransport++].rolling;
        }
        const int frames = std::min(s.blocks[blockIndex++ % s.blocks.size()], s.frames - done);
        const bool reporting = done < s.reportedUntil;
        info.ppqPos = reporting ? s.reportedPosition.value_or(position) : position;
        info.tempo = reporting ? s.reportedTempo.value_or(s.tempo) : s.tempo;
        info.flags = flagsFor(s.time) | (rolling && s.playingFlag ? kVstTransportPlaying : 0);
        process(done, frames, s.time == TimeMode::kNullRecord ? nullptr : &info);
        done += frames;
        if (rolling) {
            position += frames * (s.tempo / 60.0) / rate;
        }
    }
}

}  // namespace pantest
