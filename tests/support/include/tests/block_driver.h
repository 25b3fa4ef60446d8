// The panner tests' one block driver and parameter record: a scenario's
// blocks, parameter changes and host transport, played through any
// processor (an edition of the plug-in, the engine, a kernel path, the
// per-sample model) block by block as a host would. Free of every plug-in
// format.
#pragma once

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/pan_oscillator.h"
#include "model/pan_model.h"

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
    // A tempo change of the song itself: from the first block at or after
    // `tempoChangeAt` the song moves at `newTempo`, and the host reports it.
    int tempoChangeAt = -1;
    double newTempo = 120.0;
};

std::string describe(const Scenario& s);

struct Stereo {
    std::vector<float> left, right;
};

// A deterministic noise signal in -1..1, different on the two channels.
Stereo noise(int frames, unsigned seed = 1);
// The same value on every frame of both channels.
Stereo constant(int frames, float value);

// Output of the model. `finalState`, when given, receives the model as the run leaves it (its
// filter history).
Stereo runModel(const Scenario& s, const Stereo& input, PanModel* finalState = nullptr);

// One block's host time as the driver keeps it: where the song is (or what
// the host claims) and its tempo, whether it plays, and what of it the host
// reports under the scenario's TimeMode.
struct BlockTime {
    double position = 0.0;
    double tempo = 120.0;
    bool playing = false;
    HostTime reported;
};

// The one block driver: takes a processor through the scenario's blocks,
// the host transport advancing as a host's would. `setRate(float)`,
// `setFields(const PanParameters&)` and `process(offset, frames, const
// BlockTime&)` are the processor's.
template <typename SetRate, typename SetFields, typename Process>
void drive(const Scenario& s, SetRate setRate, SetFields setFields, Process process);

// Largest absolute difference over both channels.
double maxDifference(const Stereo& a, const Stereo& b);

template <typename SetRate, typename SetFields, typename Process>
void drive(const Scenario& s, SetRate setRate, SetFields setFields, Process process) {
    double rate = 44100.0;
    double position = s.start;
    bool rateChanged = false;
    bool rolling = true;
    std::size_t blockIndex = 0;
    std::size_t nextChange = 0;
    std::size_t nextTransport = 0;
    double tempo = s.tempo;
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
        if (s.tempoChangeAt >= 0 && done >= s.tempoChangeAt) {
            tempo = s.newTempo;
        }
        const int frames = std::min(s.blocks[blockIndex++ % s.blocks.size()], s.frames - done);
        const bool reporting = done < s.reportedUntil;
        BlockTime time;
        time.position = reporting ? s.reportedPosition.value_or(position) : position;
        time.tempo = reporting ? s.reportedTempo.value_or(tempo) : tempo;
        time.playing = rolling && s.playingFlag;
        if (s.time == TimeMode::kBoth || s.time == TimeMode::kNoTempo) {
            time.reported.position = time.position;
        }
        if (s.time == TimeMode::kBoth || s.time == TimeMode::kNoPosition) {
            time.reported.tempo = time.tempo;
        }
        time.reported.playing = s.time != TimeMode::kNullRecord && time.playing;
        process(done, frames, static_cast<const BlockTime&>(time));
        done += frames;
        if (rolling) {
            position += frames * (tempo / 60.0) / rate;
        }
    }
}

}  // namespace pantest
