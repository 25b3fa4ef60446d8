// The LV2 edition's reading of time:Position keys and its transport between
// objects, without a host.
#include "drifton_lv2/host_timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace {

using drifton::lv2::HostTimeline;
using drifton::lv2::quarterNotes;
using drifton::lv2::TimePosition;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct PositionCase {
    const char* what;
    TimePosition keys;
    std::optional<double> quarterNotes;
};

TimePosition bars(double bar, double barBeat, double perBar, double unit) {
    TimePosition t;
    t.bar = bar;
    t.barBeat = barBeat;
    t.beatsPerBar = perBar;
    t.beatUnit = unit;
    return t;
}

TimePosition beat(double value, std::optional<double> unit = std::nullopt) {
    TimePosition t;
    t.beat = value;
    t.beatUnit = unit;
    return t;
}

const PositionCase kPositions[] = {
    {"4/4, bar 2 beat 1.5", bars(2, 1.5, 4, 4), 9.5},
    {"6/8: 1.024 eighths into bar 3 arrive as 1.012", bars(3, 1.012, 6, 8), 9.512},
    {"7/8, bar 1, 6 eighths and half a quarter", bars(1, 6.5, 7, 8), (7.0 + 6.0) * 0.5 + 0.5},
    {"3/4 bar 0", bars(0, 2.25, 3, 4), 2.25},
    {"a count-in bar", bars(-1, 3.0, 4, 4), -1.0},
    {"time:beat in quarters", beat(13.25, 4.0), 13.25},
    {"time:beat counts eighths in 6/8", beat(13.0, 8.0), 6.5},
    {"time:beat wins over the bar keys",
     [] {
         auto t = bars(5, 0, 4, 4);
         t.beat = 1.0;
         return t;
     }(),
     1.0},
    {"a NaN time:beat falls back to the bars",
     [] {
         auto t = bars(1, 0, 4, 4);
         t.beat = kNan;
         return t;
     }(),
     4.0},
    {"no position keys", TimePosition{}, std::nullopt},
    {"a bar without barBeat",
     [] {
         TimePosition t;
         t.bar = 3;
         return t;
     }(),
     std::nullopt},
    {"an infinite bar", bars(kInf, 0, 4, 4), std::nullopt},
    {"a NaN barBeat", bars(1, kNan, 4, 4), std::nullopt},
    {"a barBeat past the bar", bars(1, 4.0, 4, 4), std::nullopt},
    {"a negative barBeat", bars(1, -0.5, 4, 4), std::nullopt},
    {"no beats per bar", bars(1, 0, 0, 4), std::nullopt},
    {"a meter of 2000 beats", bars(1, 0, 2000, 4), std::nullopt},
    {"a beat unit of 3.5", bars(1, 0, 4, 3.5), std::nullopt},
    {"a beat unit of 0", beat(2.0, 0.0), std::nullopt},
    {"a huge bar that overflows", bars(1e308, 0, 1000, 1), std::nullopt},
};

class QuarterNotes : public ::testing::TestWithParam<PositionCase> {};

TEST_P(QuarterNotes, FromTheKeysAHostSends) {
    const PositionCase& c = GetParam();
    const std::optional<double> got = quarterNotes(c.keys, 4.0, 4.0);
    ASSERT_EQ(c.quarterNotes.has_value(), got.has_value()) << c.what;
    if (got) {
        EXPECT_NEAR(*c.quarterNotes, *got, 1e-12) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, QuarterNotes, ::testing::ValuesIn(kPositions));

TEST(QuarterNotes, AMeterMissingFromTheObjectIsTheLastOne) {
    TimePosition t;
    t.bar = 2;
    t.barBeat = 1.25;
    EXPECT_EQ(6.0 * 2 * 0.5 + 0.5 + 0.25, quarterNotes(t, 6.0, 8.0));
}

TEST(HostTimeline, APlayingPositionMovesOnAtTempoTimesSpeedAndAStoppedOneStands) {
    TimePosition t;
    t.beat = 10.0;
    t.beatsPerMinute = 90.0;
    t.speed = 1.0;
    HostTimeline timeline;
    EXPECT_FALSE(timeline.transport().position.has_value()) << "nothing before the first object";
    timeline.apply(t);
    EXPECT_EQ(10.0, timeline.transport().position);
    EXPECT_EQ(90.0, timeline.transport().tempo);
    EXPECT_TRUE(timeline.transport().playing);
    timeline.advance(44100, 44100.0);
    EXPECT_DOUBLE_EQ(11.5, *timeline.transport().position);

    t.speed = 0.5;
    timeline.apply(t);
    timeline.advance(88200, 44100.0);
    EXPECT_DOUBLE_EQ(11.5, *timeline.transport().position);

    t.speed = 0.0;
    timeline.apply(t);
    timeline.advance(44100, 44100.0);
    EXPECT_EQ(10.0, timeline.transport().position);
    EXPECT_FALSE(timeline.transport().playing);
}

TEST(HostTimeline, MissingOrUnusableValuesCountAsMissing) {
    HostTimeline timeline;
    TimePosition t;
    t.beat = 4.0;
    t.beatsPerMinute = 100.0;
    t.speed = 1.0;
    timeline.apply(t);

    TimePosition bad;
    bad.beat = kNan;
    bad.beatsPerMinute = -5.0;
    bad.speed = kInf;
    timeline.apply(bad);
    EXPECT_FALSE(timeline.transport().position.has_value());
    EXPECT_FALSE(timeline.transport().tempo.has_value());
    EXPECT_FALSE(timeline.transport().playing) << "no usable speed: the transport stands";

    // Playing without a tempo moves on at 120.
    TimePosition noTempo;
    noTempo.beat = 0.0;
    noTempo.speed = 1.0;
    timeline.apply(noTempo);
    timeline.advance(22050, 44100.0);
    EXPECT_DOUBLE_EQ(1.0, *timeline.transport().position);
}

TEST(HostTimeline, TheMeterCarriesOverToObjectsWithoutOne) {
    HostTimeline timeline;
    TimePosition first;
    first.bar = 1;
    first.barBeat = 0.0;
    first.beatsPerBar = 7.0;
    first.beatUnit = 8.0;
    timeline.apply(first);
    EXPECT_EQ(3.5, timeline.transport().position);
    TimePosition next;
    next.bar = 2;
    next.barBeat = 1.0;
    timeline.apply(next);
    EXPECT_EQ(7.5, timeline.transport().position);
}

// The note value of time:beatsPerMinute, learnt from two objects of a rolling
// transport: the tempo the second object leaves the engine with.
struct NoteValueCase {
    const char* what;
    double beatsPerMinute;     // both objects (the second's below when it differs)
    double quartersPerMinute;  // how fast the song positions move
    double expectedTempo;      // what the timeline reports after the second object
    double secondBeatsPerMinute = 0.0;
    std::int32_t framesRun = 256;
    double frameGap = 256.0;  // between the objects' time:frame values
    double speed = 1.0;
    bool frames = true;
    bool barKeys = false;  // 6/8 bar keys as 32-bit floats, as Ardour sends them
    bool ticks = false;    // positions cut to 1/1920 of a quarter note, as Ardour's are
};

const NoteValueCase kNoteValues[] = {
    {"quarter-note marker", 144.0, 144.0, 144.0},
    {"eighth-note marker: eighths per minute", 288.0, 144.0, 144.0},
    {"eighth-note marker, Ardour's 6/8 bar keys", 288.0, 144.0, 144.0, 0.0, 256, 256.0, 1.0, true,
     true},
    {"half-note marker, over four blocks", 48.0, 96.0, 96.0, 0.0, 1024, 1024.0},
    {"sixteenth-note marker", 480.0, 120.0, 120.0},
    {"eighths, positions in Ardour's ticks", 288.0, 144.0, 144.0, 0.0, 256, 256.0, 1.0, true, true,
     true},
    {"quarters at 96, positions in ticks, two blocks", 96.0, 96.0, 96.0, 0.0, 512, 512.0, 1.0, true,
     false, true},
    {"within 1 % of a half over a long run", 290.0, 144.0, 145.0, 0.0, 8192, 8192.0},
    {"a ratio of 3/4 is no note value", 192.0, 144.0, 192.0},
    {"a ratio of 0.6 is no note value", 240.0, 144.0, 240.0},
    {"2 % off a half over a long run is not taken", 282.24, 144.0, 282.24, 0.0, 8192, 8192.0},
    {"too short a run to tell", 288.0, 144.0, 288.0, 0.0, 64, 64.0},
    {"no time:frame", 288.0, 144.0, 288.0, 0.0, 256, 256.0, 1.0, false},
    {"a loop between the objects: frames apart differ from frames run", 288.0, 144.0, 288.0, 0.0,
     256, 512.0},
    {"a dropped block: frames run differ from the frames apart", 288.0, 144.0, 288.0, 0.0, 512,
     256.0},
    {"no frame run between them", 288.0, 0.0, 288.0, 0.0, 0, 0.0},
    {"at half speed", 288.0, 72.0, 288.0, 0.0, 256, 256.0, 0.5},
    {"stopped", 288.0, 0.0, 288.0, 0.0, 256, 256.0, 0.0},
    {"a tempo change between the objects", 288.0, 144.0, 192.0, 192.0},
};

class TempoNoteValueRule : public ::testing::TestWithParam<NoteValueCase> {};

TEST_P(TempoNoteValueRule, ScalesBeatsPerMinuteOnlyForAClearNoteValue) {
    const NoteValueCase& c = GetParam();
    constexpr double kRate = 48000.0;
    const auto object = [&](double frame, double bpm) {
        TimePosition t;
        double q = 37.25 + (frame - 96000.0) * c.quartersPerMinute / 60.0 / kRate;
        if (c.ticks) {
            q = std::floor(q * 1920.0) / 1920.0;
        }
        if (c.barKeys) {
            // 6/8: three quarter notes a bar; whole eighths plus a quarter's fraction.
            const double bar = std::floor(q / 3.0);
            const double eighths = (q - bar * 3.0) * 2.0;
            t = bars(
                bar,
                static_cast<float>(std::floor(eighths) + (eighths - std::floor(eighths)) / 2.0),
                6.0, 8.0);
        } else {
            t.beat = q;
        }
        t.beatsPerMinute = bpm;
        t.speed = c.speed;
        if (c.frames) {
            t.frame = frame;
        }
        return t;
    };
    HostTimeline timeline;
    timeline.apply(object(96000.0, c.beatsPerMinute));
    ASSERT_EQ(c.beatsPerMinute, timeline.transport().tempo) << "one object alone says nothing";
    timeline.advance(c.framesRun, kRate);
    const double second = c.secondBeatsPerMinute > 0.0 ? c.secondBeatsPerMinute : c.beatsPerMinute;
    timeline.apply(object(96000.0 + c.frameGap, second));
    ASSERT_TRUE(timeline.transport().tempo.has_value());
    EXPECT_NEAR(c.expectedTempo, *timeline.transport().tempo, 1e-9) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Pairs, TempoNoteValueRule, ::testing::ValuesIn(kNoteValues));

TEST(TempoNoteValueRule, TheFactorScalesLaterTempoChangesAtOnceAndFollowsANewNoteValue) {
    constexpr double kRate = 48000.0;
    HostTimeline timeline;
    double q = 0.0;
    double frame = 0.0;
    const auto object = [&](double bpm) {
        TimePosition t;
        t.beat = q;
        t.frame = frame;
        t.speed = 1.0;
        t.beatsPerMinute = bpm;
        timeline.apply(t);
    };
    const auto run = [&](double quartersPerMinute) {
        timeline.advance(1024, kRate);
        frame += 1024.0;
        q += 1024.0 * quartersPerMinute / 60.0 / kRate;
    };
    object(288.0);  // eighths per minute, for 144 quarters
    run(144.0);
    object(288.0);
    EXPECT_EQ(144.0, timeline.transport().tempo);
    run(144.0);
    object(192.0);  // a tempo change to 96: scaled at once
    EXPECT_EQ(96.0, timeline.transport().tempo);
    run(96.0);
    object(96.0);  // a marker in quarter notes from here: one pair with the old factor
    EXPECT_EQ(48.0, timeline.transport().tempo);
    run(96.0);
    object(96.0);
    EXPECT_EQ(96.0, timeline.transport().tempo);
    // The position between objects moves at the scaled tempo.
    const double at = *timeline.transport().position;
    timeline.advance(48000, kRate);
    EXPECT_NEAR(at + 96.0 / 60.0, *timeline.transport().position, 1e-12);
}

}  // namespace
