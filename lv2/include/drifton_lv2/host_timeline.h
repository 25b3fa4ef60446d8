// The LV2 edition's view of the host's transport. LV2 hosts send
// time:Position objects inside a block, at a frame offset, with only some of
// their keys, and some hosts only when something changes. The timeline keeps
// what the last object said and, between objects, moves the position on as a
// playing transport would, so each piece of a block gets the Transport a VST
// host would have reported for a block starting there.
//
// Units, as measured with the hosts this edition was tried in:
//  - time:beat counts beats of time:beatUnit since the song's start;
//  - time:barBeat is the whole number of beatUnit beats into the bar plus the
//    fraction of a quarter note since that beat (in 6/8, 1.024 eighths into a
//    bar arrives as 1.012), so the song position in quarter notes is
//    (bar * beatsPerBar + floor(barBeat)) * 4 / beatUnit + frac(barBeat);
//    this counts every earlier bar in the current meter, so after a meter
//    change the position is off by the difference (time:beat, when a host
//    sends it, has no such limit);
//  - time:beatsPerMinute is read as quarter notes per minute: it is with the
//    default tempo marker (96 in 6/8 at 96 quarter notes per minute). A tempo
//    marker written in eighths makes it eighths per minute, which the keys
//    cannot tell apart: between two objects the sweep then runs twice as
//    fast, and each object puts it back on the song position.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/pan_engine.h"

namespace drifton::lv2 {

// The keys of one time:Position object the panner reads, as numbers; a key
// the object does not carry is empty.
struct TimePosition {
    std::optional<double> beat;
    std::optional<double> bar;
    std::optional<double> barBeat;
    std::optional<double> beatsPerBar;
    std::optional<double> beatUnit;
    std::optional<double> beatsPerMinute;
    std::optional<double> speed;
};

// Meters beyond these are not believed: the values count as missing.
inline constexpr double kMaxBeatsPerBar = 1024.0;
inline constexpr double kMaxBeatUnit = 256.0;

// The song position of `position` in quarter notes: from time:beat when it is
// there and finite, else from the bar keys when they are finite and
// consistent (a meter above 0 and within the limits, a whole beat unit, the
// bar's whole beats inside the bar); empty otherwise. A key's meter missing
// from the object is the last usable one the timeline saw (4/4 at first).
std::optional<double> quarterNotes(const TimePosition& position, double beatsPerBar,
                                   double beatUnit);

class HostTimeline {
public:
    // An object at the current frame: its position (or none), its tempo (or
    // none), and playing when its speed is finite and not 0.
    void apply(const TimePosition& position);

    // What a VST host would report for a piece starting here.
    Transport transport() const { return {position_, tempo_, speed_ != 0.0}; }

    // `frames` frames at `sampleRate` went by: a playing transport's position
    // moves on at the tempo (120 without one) times the speed; a stopped one
    // stays where it is.
    void advance(std::int32_t frames, double sampleRate);

private:
    std::optional<double> position_;
    std::optional<double> tempo_;
    double speed_ = 0.0;
    double beatsPerBar_ = 4.0;
    double beatUnit_ = 4.0;
};

}  // namespace drifton::lv2
