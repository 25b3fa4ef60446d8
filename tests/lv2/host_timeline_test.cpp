// The LV2 edition's reading of time:Position keys and its transport between
// objects, without a host.
#include "drifton_lv2/host_timeline.h"

#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
