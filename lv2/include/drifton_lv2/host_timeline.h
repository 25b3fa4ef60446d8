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
//  - time:beatsPerMinute counts the note value of the host's tempo marker:
//    quarter notes with Ardour's default marker (96 in 6/8 at 96 quarter
//    notes per minute), eighths with a marker written in eighths (192 there,
//    while VST hosting reports 96). The keys cannot tell the two apart; the
//    song positions of a rolling transport can, by the rule of
//    TempoNoteValue below, and the tempo is read as beatsPerMinute times the
//    factor it found (1 until it finds one).
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
    std::optional<double> frame;  // the host's frame of the object
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

// The size of the note time:beatsPerMinute counts, in quarter notes, learnt
// from the host's own song positions. The rule: over a run of consecutive
// objects of a transport rolling at speed 1, each with time:frame, a song
// position and the same usable beatsPerMinute B, between which this instance
// ran exactly as many frames as their time:frame values lie apart (no loop,
// locate or dropped block inside the run), the song moved Q quarter notes
// from the run's first object to its latest, F frames apart. Read as quarter
// notes, B would have moved it E = F x B / 60 / rate. The note value is the
// n of 1/4, 1/2, 1, 2, 4 with
//     |Q - n E| <= 1 % of n E + R,
// R = 1/960 of a quarter note allowing for positions rounded by the host
// (Ardour 7.3 gives both formats positions in ticks of 1/1920 of a quarter
// note: at 144 per minute in 256-frame blocks at 48 kHz the steps alternate
// 25 and 24 ticks, 1.7 % either side of the tempo). A run is judged once E
// reaches 10 R; the windows around the five candidates are then disjoint, so
// at most one n fits. A fitting n becomes the factor; none (a tempo ramp, a
// host whose positions do not move at its tempo) leaves it as it was. The
// next run starts at the judged object, so a marker in another note value is
// followed one run later; at a tempo change the new beatsPerMinute is scaled
// by the factor at once.
// Measured with Ardour 7.3 (scripts/ardour-time-probe.sh: 4/4, 6/8 and 7/8,
// 144 then 96 quarter notes per minute, one object per 256-frame block at
// 48 kHz): Q/E from one block to the next ranged over 0.977 .. 1.038 with
// quarter-note markers and 0.488 .. 0.519 with eighth-note markers (B 288,
// then 192), never 1 % near the candidates, always inside their windows.
// Hosts that send no time:frame, or objects only on changes, never form a
// run and keep 1.
class TempoNoteValue {
public:
    // An object at the current frame, with its song position in quarter
    // notes (or none); `framesRun` frames ran at `sampleRate` since the
    // previous object.
    void observe(const TimePosition& position, std::optional<double> quarterNotes,
                 std::int64_t framesRun, double sampleRate);
    // Quarter notes per beat of time:beatsPerMinute.
    double factor() const { return factor_; }

    static constexpr double kTolerance = 0.01;
    static constexpr double kRounding = 1.0 / 960.0;
    static constexpr double kShortestRun = 10.0 * kRounding;

private:
    struct Anchor {
        double frame;
        double quarterNotes;
        double beatsPerMinute;
    };
    std::optional<Anchor> first_, last_;
    double factor_ = 1.0;
};

class HostTimeline {
public:
    // An object at the current frame: its position (or none), its tempo (or
    // none; beatsPerMinute times the note value's factor), and playing when
    // its speed is finite and not 0.
    void apply(const TimePosition& position);

    // What a VST host would report for a piece starting here.
    Transport transport() const { return {position_, tempo_, speed_ != 0.0}; }

    // `frames` frames at `sampleRate` went by: a playing transport's position
    // moves on at the tempo (120 without one) times the speed; a stopped one
    // stays where it is.
    void advance(std::int32_t frames, double sampleRate);

    // Quarter notes per beat of the host's time:beatsPerMinute (see TempoNoteValue).
    double tempoFactor() const { return noteValue_.factor(); }

private:
    std::optional<double> position_;
    std::optional<double> tempo_;
    double speed_ = 0.0;
    TempoNoteValue noteValue_;
    std::int64_t framesSinceObject_ = 0;
    double sampleRate_ = 0.0;
    double beatsPerBar_ = 4.0;
    double beatUnit_ = 4.0;
};

}  // namespace drifton::lv2
