// The plug-in file's audio against the per-sample model, over shapes, widths,
// phase shifts, periods, tempos, song positions up to 10,000 beats, block
// sizes up to 65536, in-place buffers, rate changes, parameter changes
// between blocks, every kind of host time information and transports that
// stand still or give no position; and the behaviour
// a listener can check without the model. ctest runs this suite twice, the
// second time with --kernel-path=baseline, so both kernel paths are held to
// the model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <vector>

#include "engine/pan_block_kernel.h"
#include "plugin_runner.h"
#include "tests/kernel_under_test.h"
#include "tests/plugin_fixture.h"

namespace {

using drifton::WaveShape;
using pantest::Scenario;
using pantest::Stereo;
using pantest::TimeMode;

constexpr double kTolerance = 1e-6;
const float kSqrt2 = std::sqrt(2.0f);
const std::vector<std::vector<int>> kBlockPatterns = {{1},    {7},      {512},
                                                      {4096}, {0, 512}, {7, 0, 512, 1, 4096, 33}};

const WaveShape kShapes[] = {drifton::kTriangle, drifton::kSineShaped, drifton::kSquare};

// The shape and period under test at full width; everything else default.
Scenario fullWidthSweep(WaveShape shape, int periodIndex) {
    Scenario s;
    s.waveShape = shape;
    s.width = 1.0f;
    s.periodIndex = periodIndex;
    return s;
}

// Block sizes a host may use, fixed and varying between 1 and 4096.
std::vector<int> randomBlocks(unsigned seed, int count) {
    std::vector<int> blocks;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        blocks.push_back(1 + static_cast<int>((seed >> 8) % 4096u));
    }
    return blocks;
}

// One run the plug-in file must match the model on: the scenario, the seed
// of its noise input, and a note for a failure's trace.
struct ModelCase {
    Scenario scenario;
    unsigned seed = 1;
    const char* note = "";
};

std::vector<ModelCase> everyShapeWidthAndPhaseShift() {
    const double tempos[] = {60.0, 120.0, 174.0};
    const double starts[] = {0.0, 4321.37, 9999.37};
    std::vector<ModelCase> cases;
    for (const WaveShape shape : kShapes) {
        for (const float width : {0.0f, 0.5f, 1.0f}) {
            for (const float shift : {-1.0f, 0.0f, 0.5f, 1.0f}) {
                const auto n = static_cast<int>(cases.size());
                Scenario s;
                s.waveShape = shape;
                s.width = width;
                s.phaseShift = shift;
                s.periodIndex = (n * 5) % 12;
                s.tempo = tempos[n % 3];
                s.start = starts[(n / 3) % 3];
                s.frames = 6144;
                s.inPlace = n % 3 == 0;
                cases.push_back({s, static_cast<unsigned>(n)});
            }
        }
    }
    return cases;
}

std::vector<ModelCase> everyPeriodTempoAndStart() {
    const float shifts[] = {-1.0f, 0.0f, 0.5f, 1.0f};
    std::vector<ModelCase> cases;
    for (int period = 0; period < 12; ++period) {
        for (const double tempo : {60.0, 120.0, 174.0}) {
            for (const double start : {0.0, 5000.25, 9998.9}) {
                const auto n = static_cast<int>(cases.size());
                Scenario s = fullWidthSweep(kShapes[n % 3], period);
                s.tempo = tempo;
                s.start = start;
                s.phaseShift = shifts[n % 4];
                s.blocks = kBlockPatterns[static_cast<std::size_t>(n) % kBlockPatterns.size()];
                cases.push_back({s, static_cast<unsigned>(n)});
            }
        }
    }
    return cases;
}

std::vector<ModelCase> manyBlocksOfEverySize() {
    std::vector<ModelCase> cases;
    for (const auto& blocks : kBlockPatterns) {
        for (const WaveShape shape : kShapes) {
            const auto n = static_cast<int>(cases.size());
            Scenario s = fullWidthSweep(shape, 9);  // 1/32: several half-cycles in the run
            s.blocks = blocks;
            s.tempo = 174.0;
            s.start = 3.0;
            s.frames = 9000;
            s.inPlace = n % 2 == 1;
            cases.push_back({s, static_cast<unsigned>(n)});
        }
    }
    return cases;
}

// Far into a song a float position moves in steps of 1/1024 beat, a good
// part of a 1/64 half-cycle: the oscillator's phase must come from the
// position rounded to float exactly as the model rounds it.
std::vector<ModelCase> songPositionsUpTo10000Beats() {
    const double starts[] = {1000.1, 2047.999, 4096.3, 8191.99, 9000.0, 9999.999};
    std::vector<ModelCase> cases;
    for (int period = 0; period < 12; ++period) {
        for (const WaveShape shape : kShapes) {
            const auto n = static_cast<int>(cases.size());
            Scenario s = fullWidthSweep(shape, period);
            s.phaseShift = n % 2 == 0 ? 0.25f : -0.75f;
            s.tempo = n % 3 == 0 ? 174.0 : 120.0;
            s.start = starts[static_cast<std::size_t>(n) % std::size(starts)];
            s.blocks = {333, 512};
            s.frames = 3000;
            cases.push_back({s, static_cast<unsigned>(n)});
        }
    }
    return cases;
}

std::vector<ModelCase> blocksUpTo65536Frames() {
    const std::vector<std::vector<int>> patterns = {
        {65536}, {255, 256, 257}, {1, 2, 3, 511, 513}, {20000, 64}};
    std::vector<ModelCase> cases;
    for (const auto& blocks : patterns) {
        for (const WaveShape shape : {drifton::kSineShaped, drifton::kSquare}) {
            const auto n = static_cast<int>(cases.size());
            Scenario s = fullWidthSweep(shape, 10);
            s.blocks = blocks;
            s.tempo = 174.0;
            s.start = 12.25;
            s.frames = 70000;
            s.inPlace = n % 2 == 0;
            cases.push_back({s, static_cast<unsigned>(n)});
        }
    }
    return cases;
}

std::vector<ModelCase> everyKindOfTimeInformation() {
    std::vector<ModelCase> cases;
    for (const TimeMode mode :
         {TimeMode::kBoth, TimeMode::kNoTempo, TimeMode::kNoPosition, TimeMode::kNullRecord}) {
        for (const WaveShape shape : {drifton::kTriangle, drifton::kSquare}) {
            Scenario s = fullWidthSweep(shape, 8);
            s.time = mode;
            s.tempo = 174.0;
            s.start = 17.5;
            s.blocks = {1000};
            s.frames = 8000;
            cases.push_back({s});
        }
    }
    return cases;
}

std::vector<ModelCase> rateChangeTo96000() {
    std::vector<ModelCase> cases;
    for (const WaveShape shape : kShapes) {
        Scenario s = fullWidthSweep(shape, 7);
        s.frames = 8192;
        s.rateChangeAt = 4096;
        s.newRate = 96000.0f;
        cases.push_back({s});
        s.ignoredRates = {0.0f, -44100.0f, std::nanf(""), std::numeric_limits<float>::infinity()};
        cases.push_back({s, 1, "unusable rates sent after it change nothing"});
    }
    return cases;
}

std::vector<ModelCase> negativeSongPositions() {
    std::vector<ModelCase> cases;
    for (const double start : {-3.3, -0.0001, -4000.5}) {
        for (const WaveShape shape : kShapes) {
            Scenario s = fullWidthSweep(shape, 10);
            s.start = start;
            s.frames = 8192;
            cases.push_back({s});
        }
    }
    return cases;
}

std::vector<ModelCase> unusableOrAbsurdHostValues() {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<ModelCase> cases;
    for (const double tempo : {0.0, -120.0, nan, inf, -inf, 1e300, 1e-300}) {
        Scenario s = fullWidthSweep(drifton::kTriangle, 11);
        s.reportedTempo = tempo;
        s.start = 1.5;
        cases.push_back({s});
    }
    for (const double position : {nan, inf, -inf, 1e39, -1e39, 1e300}) {
        Scenario s = fullWidthSweep(drifton::kSquare, 11);
        s.reportedPosition = position;
        cases.push_back({s});
    }
    Scenario tinyRate;
    tinyRate.rateChangeAt = 0;
    tinyRate.newRate = 1e-30f;
    cases.push_back({tinyRate});
    return cases;
}

// Hosts without a song position, or whose song position stands still while
// the transport is stopped: the sweep runs on from where it got to, and the
// host's position leads again once it moves or the transport plays.
std::vector<ModelCase> songPositionMissingOrStandingStill() {
    using pantest::TransportChange;
    struct Transport {
        const char* what;
        TimeMode time;
        std::vector<TransportChange> changes;
        bool playingFlag;
    };
    const Transport transports[] = {
        {"no position flag", TimeMode::kNoPosition, {}, false},
        {"no time record", TimeMode::kNullRecord, {}, false},
        {"stopped throughout", TimeMode::kBoth, {{0, 5.25, false}}, false},
        {"stopped, then playing from there",
         TimeMode::kBoth,
         {{0, 5.25, false}, {9000, 5.25, true}},
         true},
        {"stopped, then rolling without the playing flag",
         TimeMode::kBoth,
         {{0, 5.25, false}, {9000, 5.25, true}},
         false},
        {"seek while stopped", TimeMode::kBoth, {{0, 3.0, false}, {7000, 11.5, false}}, false},
        {"playing, stopped, playing again",
         TimeMode::kBoth,
         {{0, 1.0, true}, {6000, std::nullopt, false}, {14000, std::nullopt, true}},
         true},
    };
    const std::vector<std::vector<int>> blockPatterns = {
        {512}, {7, 0, 512, 1, 4096, 33}, randomBlocks(7, 64)};
    std::vector<ModelCase> cases;
    for (const Transport& t : transports) {
        for (const auto& blocks : blockPatterns) {
            for (const WaveShape shape : {drifton::kTriangle, drifton::kSquare}) {
                Scenario s = fullWidthSweep(shape, 5);  // 1/8: a cycle of one beat
                s.time = t.time;
                s.transport = t.changes;
                s.playingFlag = t.playingFlag;
                s.tempo = 100.0;
                s.blocks = blocks;
                s.frames = 20000;
                cases.push_back({s, static_cast<unsigned>(cases.size()), t.what});
            }
        }
    }
    return cases;
}

// The families of runs held to the model, one row each.
struct ModelFamily {
    const char* name;
    std::vector<ModelCase> (*cases)();
};

// ctest lists a family by its name.
void PrintTo(const ModelFamily& family, std::ostream* os) { *os << family.name; }

const ModelFamily kModelFamilies[] = {
    {"EveryShapeWidthAndPhaseShift", everyShapeWidthAndPhaseShift},
    {"EveryPeriodTempoAndStart", everyPeriodTempoAndStart},
    {"ManyBlocksOfEverySize", manyBlocksOfEverySize},
    {"SongPositionsUpTo10000Beats", songPositionsUpTo10000Beats},
    {"BlocksUpTo65536Frames", blocksUpTo65536Frames},
    {"EveryKindOfTimeInformation", everyKindOfTimeInformation},
    {"RateChangeTo96000", rateChangeTo96000},
    {"NegativeSongPositions", negativeSongPositions},
    {"UnusableOrAbsurdHostValues", unusableOrAbsurdHostValues},
    {"SongPositionMissingOrStandingStill", songPositionMissingOrStandingStill},
};

class PluginProcessing : public PluginFixture {
protected:
    Stereo plugin(const Scenario& s, const Stereo& input) {
        return pantest::runPlugin(entry, host, s, input);
    }

    // Compares plug-in and model; the output must also be finite everywhere.
    void expectMatchesModel(const Scenario& s, unsigned seed = 1) {
        const Stereo input = pantest::noise(s.frames, seed);
        const Stereo got = plugin(s, input);
        const Stereo want = pantest::runModel(s, input);
        EXPECT_LE(pantest::maxDifference(got, want), kTolerance) << pantest::describe(s);
    }

    // Both the plug-in and the model, for checks that hold for each.
    std::vector<Stereo> both(const Scenario& s, const Stereo& input) {
        return {plugin(s, input), pantest::runModel(s, input)};
    }
};

class PluginMatchesModel : public PluginProcessing,
                           public ::testing::WithParamInterface<ModelFamily> {};

TEST_P(PluginMatchesModel, InEveryScenarioOfTheFamily) {
    const std::vector<ModelCase> cases = GetParam().cases();
    ASSERT_FALSE(cases.empty());
    for (const ModelCase& c : cases) {
        SCOPED_TRACE(c.note);
        expectMatchesModel(c.scenario, c.seed);
    }
}

INSTANTIATE_TEST_SUITE_P(Families, PluginMatchesModel, ::testing::ValuesIn(kModelFamilies),
                         [](const ::testing::TestParamInfo<ModelFamily>& row) {
                             return std::string(row.param.name);
                         });

TEST_F(PluginProcessing, ParameterChangesTakeEffectFromTheNextBlock) {
    Scenario s;
    s.waveShape = drifton::kTriangle;
    s.width = 0.5f;
    s.periodIndex = 9;
    s.blocks = {300, 7, 1024};
    s.frames = 8000;
    s.changes = {{300, {9, drifton::kSquare, 1.0f, 0.0f}},
                 {307, {4, drifton::kSineShaped, 0.25f, 0.5f}},
                 {2655, {11, drifton::kTriangle, 1.0f, -1.0f}},
                 {5000, {0, drifton::kSquare, 1.0f, 1.0f}}};
    expectMatchesModel(s);

    // The changes are audible, so the comparison above checks where they land.
    const Stereo input = pantest::noise(s.frames, 1);
    Scenario unchanged = s;
    unchanged.changes.clear();
    EXPECT_GT(pantest::maxDifference(plugin(s, input), plugin(unchanged, input)), 0.1);
}

// Extreme but finite values for the first four blocks, then the host's own
// transport: every sample stays finite, the plug-in follows the model, and
// once the filter has settled the audio is that of a run that never saw them.
TEST_F(PluginProcessing, ExtremeFiniteHostValuesGiveFiniteAudioAndValidBlocksRecover) {
    Scenario undisturbed = fullWidthSweep(drifton::kSquare, 11);
    undisturbed.start = 3.25;
    undisturbed.frames = 8192;
    undisturbed.blocks = {512};
    const Stereo input = pantest::noise(undisturbed.frames, 11);
    const Stereo reference = plugin(undisturbed, input);
    constexpr std::ptrdiff_t kSettled = 4096;  // four blocks of the values, four to settle
    const auto tail = [](const Stereo& s, std::ptrdiff_t from) {
        return Stereo{{s.left.begin() + from, s.left.end()},
                      {s.right.begin() + from, s.right.end()}};
    };

    std::vector<Scenario> extremes;
    for (const double tempo : {1e308, 1e300, 3e38, 1e-300}) {
        Scenario s = undisturbed;
        s.reportedTempo = tempo;
        extremes.push_back(s);
    }
    for (const double position : {1e39, -1e39, 3e38, -3e38, 1e300, -1e300, 1e-300}) {
        Scenario s = undisturbed;
        s.reportedPosition = position;
        extremes.push_back(s);
    }
    Scenario both = undisturbed;
    both.reportedPosition = 3e38;
    both.reportedTempo = 1e308;
    extremes.push_back(both);

    for (Scenario& s : extremes) {
        s.reportedUntil = 2048;
        const Stereo got = plugin(s, input);
        for (std::size_t i = 0; i < got.left.size(); ++i) {
            ASSERT_TRUE(std::isfinite(got.left[i]) && std::isfinite(got.right[i]))
                << pantest::describe(s) << ", frame " << i;
        }
        EXPECT_LE(pantest::maxDifference(got, pantest::runModel(s, input)), kTolerance)
            << pantest::describe(s);
        EXPECT_LE(pantest::maxDifference(tail(got, kSettled), tail(reference, kSettled)), 1e-5)
            << pantest::describe(s);
    }
}

// A rate below 1 Hz is ignored like zero: processing keeps the last usable one.
TEST_F(PluginProcessing, SampleRatesBelowOneHertzAreIgnored) {
    Scenario undisturbed = fullWidthSweep(drifton::kSineShaped, 11);
    undisturbed.rateChangeAt = 1024;
    undisturbed.newRate = 48000.0f;
    const Stereo input = pantest::noise(undisturbed.frames, 12);
    const Stereo reference = plugin(undisturbed, input);

    Scenario tiny = undisturbed;
    tiny.ignoredRates = {1e-40f, std::numeric_limits<float>::denorm_min(), 1e-30f, 0.5f, 0.999f};
    const Stereo got = plugin(tiny, input);
    EXPECT_EQ(reference.left, got.left);
    EXPECT_EQ(reference.right, got.right);
    EXPECT_LE(pantest::maxDifference(got, pantest::runModel(tiny, input)), kTolerance);
}

TEST_F(PluginProcessing, InPlaceGivesTheSameSamplesAsSeparateBuffers) {
    for (const WaveShape shape : kShapes) {
        Scenario s = fullWidthSweep(shape, 10);
        s.blocks = {7, 512, 1};
        const Stereo input = pantest::noise(s.frames, 3);
        const Stereo separate = plugin(s, input);
        s.inPlace = true;
        const Stereo inPlace = plugin(s, input);
        EXPECT_EQ(separate.left, inPlace.left) << shape;
        EXPECT_EQ(separate.right, inPlace.right) << shape;
    }
}

TEST_F(PluginProcessing, UnusableHostValuesBehaveAsIfTheFlagWereClear) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Scenario base = fullWidthSweep(drifton::kTriangle, 11);
    base.start = 2.75;
    base.tempo = 90.0;
    base.blocks = {300};
    const Stereo input = pantest::noise(base.frames, 5);

    Scenario noTempo = base;
    noTempo.time = TimeMode::kNoTempo;
    const Stereo expectedNoTempo = plugin(noTempo, input);
    for (const double tempo : {0.0, -90.0, nan, inf, -inf}) {
        Scenario s = base;
        s.reportedTempo = tempo;
        EXPECT_EQ(0.0, pantest::maxDifference(expectedNoTempo, plugin(s, input))) << tempo;
    }

    Scenario noPosition = base;
    noPosition.time = TimeMode::kNoPosition;
    const Stereo expectedNoPosition = plugin(noPosition, input);
    for (const double position : {nan, inf, -inf}) {
        Scenario s = base;
        s.reportedPosition = position;
        EXPECT_EQ(0.0, pantest::maxDifference(expectedNoPosition, plugin(s, input))) << position;
    }
}

TEST_F(PluginProcessing, DefaultsStandInForMissingTimeInformation) {
    const Stereo input = pantest::noise(4096, 9);
    Scenario s = fullWidthSweep(drifton::kSquare, 11);
    s.start = 0.6;
    s.tempo = 77.0;
    s.blocks = {256};

    // Without the tempo flag: the reported position at 120 bpm.
    Scenario at120 = s;
    at120.reportedTempo = 120.0;
    s.time = TimeMode::kNoTempo;
    EXPECT_EQ(0.0, pantest::maxDifference(plugin(at120, input), plugin(s, input)));

    // Without the position flag: the sweep runs on from 0, as it does when
    // a stopped host reports position 0 for every block.
    Scenario atZero = s;
    atZero.time = TimeMode::kBoth;
    atZero.reportedPosition = 0.0;
    s.time = TimeMode::kNoPosition;
    EXPECT_EQ(0.0, pantest::maxDifference(plugin(atZero, input), plugin(s, input)));

    // No record at all: both defaults.
    atZero.reportedTempo = 120.0;
    s.time = TimeMode::kNullRecord;
    EXPECT_EQ(0.0, pantest::maxDifference(plugin(atZero, input), plugin(s, input)));
}

// Where the frame of each upward crossing of the centre (right gain rising
// past left) lies, interpolated between samples.
std::vector<double> upwardCentreCrossings(const Stereo& out) {
    std::vector<double> crossings;
    for (std::size_t i = 1; i < out.left.size(); ++i) {
        const double before = static_cast<double>(out.right[i - 1] - out.left[i - 1]);
        const double after = static_cast<double>(out.right[i] - out.left[i]);
        if (before < 0.0 && after >= 0.0) {
            crossings.push_back(static_cast<double>(i - 1) + before / (before - after));
        }
    }
    return crossings;
}

// What a listener hears from a host that gives no song position: a steady
// sweep with the period the settings imply, whatever the host's block size.
TEST_F(PluginProcessing, WithoutASongPositionTheSweepKeepsItsPeriodAtAnyBlockSize) {
    // 120 bpm at 48 kHz, period 1/4: a cycle of 2 beats, 48000 frames.
    Scenario s = fullWidthSweep(drifton::kTriangle, 3);
    s.time = TimeMode::kNoPosition;
    s.rateChangeAt = 0;
    s.newRate = 48000.0f;
    s.frames = 8 * 48000;
    const Stereo ones = pantest::constant(s.frames, 1.0f);

    s.blocks = {512};
    const Stereo reference = plugin(s, ones);
    EXPECT_LE(pantest::maxDifference(reference, pantest::runModel(s, ones)), kTolerance);
    EXPECT_GT(*std::max_element(reference.left.begin(), reference.left.end()), 1.41f);
    EXPECT_GT(*std::max_element(reference.right.begin(), reference.right.end()), 1.41f);
    // The sweep passes the centre towards the right half a cycle in, then
    // once every cycle (the smoothing filter delays it by a few samples).
    std::vector<double> crossings = upwardCentreCrossings(reference);
    std::erase_if(crossings, [](double frame) { return frame < 100.0; });  // the filter settling
    ASSERT_EQ(8u, crossings.size());
    for (std::size_t i = 0; i < crossings.size(); ++i) {
        EXPECT_NEAR(24000.0 + 48000.0 * static_cast<double>(i), crossings[i], 10.0) << i;
    }

    for (const auto& blocks : std::vector<std::vector<int>>{{64}, {8192}, randomBlocks(3, 200)}) {
        s.blocks = blocks;
        EXPECT_LE(pantest::maxDifference(reference, plugin(s, ones)), kTolerance)
            << pantest::describe(s);
    }
}

TEST_F(PluginProcessing, ACountInLandsOnTheSamePhaseAsItsWrappedPosition) {
    Scenario s = fullWidthSweep(drifton::kTriangle, 3);  // a cycle of 2 beats
    s.blocks = {4096};
    const Stereo input = pantest::noise(s.frames, 4);
    s.start = 0.375;
    const Stereo wrapped = plugin(s, input);
    s.start = -3.625;
    EXPECT_EQ(0.0, pantest::maxDifference(wrapped, plugin(s, input)));
    s.start = -1.625;
    EXPECT_EQ(0.0, pantest::maxDifference(wrapped, plugin(s, input)));
}

// Listener-level facts; they hold for the plug-in and for the model alike.
TEST_F(PluginProcessing, ZeroWidthPassesTheSignal) {
    Scenario s;
    s.width = 0.0f;
    s.waveShape = drifton::kSquare;
    s.periodIndex = 11;
    const Stereo input = pantest::noise(s.frames, 2);
    for (const Stereo& out : both(s, input)) {
        // The filter starts from 0 (full left) and settles on the centre.
        for (std::size_t i = 64; i < input.left.size(); ++i) {
            ASSERT_NEAR(input.left[i], out.left[i], 1e-6f) << i;
            ASSERT_NEAR(input.right[i], out.right[i], 1e-6f) << i;
        }
    }
}

TEST_F(PluginProcessing, TriangleSweepsLeftThenRightInTimeWithTheSong) {
    // 120 bpm at 44100 Hz, period 1/4: one beat per half-cycle.
    Scenario s = fullWidthSweep(drifton::kTriangle, 3);
    s.frames = 44100;
    const Stereo ones = pantest::constant(s.frames, 1.0f);
    for (const Stereo& out : both(s, ones)) {
        EXPECT_NEAR(kSqrt2, out.left[11025], 1e-4f);
        EXPECT_LT(out.right[11025], 1e-3f);
        EXPECT_NEAR(1.0f, out.left[22050], 1e-3f);
        EXPECT_NEAR(1.0f, out.right[22050], 1e-3f);
        EXPECT_NEAR(kSqrt2, out.right[33075], 1e-4f);
        EXPECT_LT(out.left[33075], 1e-3f);
    }
    s.phaseShift = 1.0f;  // half a cycle later: the sweep starts to the right
    for (const Stereo& out : both(s, ones)) {
        EXPECT_NEAR(kSqrt2, out.right[11025], 1e-4f);
        EXPECT_LT(out.left[11025], 1e-3f);
    }
    s.phaseShift = 0.0f;
    s.tempo = 60.0;  // half the tempo: the extreme comes twice as late
    for (const Stereo& out : both(s, ones)) {
        EXPECT_NEAR(std::sin(3.0f * std::acos(-1.0f) / 8.0f) * kSqrt2, out.left[11025], 1e-3f);
        EXPECT_NEAR(kSqrt2, out.left[22050], 1e-4f);
        EXPECT_LT(out.right[22050], 1e-3f);
    }
}

TEST_F(PluginProcessing, SquareGlidesToTheOtherSideOverAFewSamples) {
    // 1/64 at 120 bpm: a half-cycle is 1378.125 samples, so the jump to the
    // right lands on sample 1379.
    Scenario s = fullWidthSweep(drifton::kSquare, 11);
    s.frames = 2000;
    const Stereo ones = pantest::constant(s.frames, 1.0f);
    for (const Stereo& out : both(s, ones)) {
        EXPECT_EQ(kSqrt2, out.left[1378]) << "settled full left";
        EXPECT_EQ(0.0f, out.right[1378]);
        EXPECT_GT(out.right[1379], 0.01f);
        EXPECT_LT(out.right[1379], kSqrt2 - 0.01f) << "not at once";
        EXPECT_NEAR(kSqrt2, out.right[1420], 1e-4f);
        EXPECT_NEAR(0.0f, out.left[1420], 1e-4f);
    }
}

// The plug-in file chooses its kernel path when it is loaded, from the same
// CPU and environment as the panner linked into this process: both give the
// same samples.
TEST_F(PluginProcessing, PluginFileGivesTheSamplesOfThePannerLinkedHere) {
    Scenario s = fullWidthSweep(drifton::kSineShaped, 10);
    s.tempo = 174.0;
    s.start = 3.5;
    s.frames = 4096;
    const Stereo input = pantest::noise(s.frames, 6);
    const Stereo fromFile = plugin(s, input);
    const Stereo inProcess = pantest::runPlugin(&pantest::inProcessEntry, host, s, input);
    EXPECT_EQ(fromFile.left, inProcess.left) << drifton::kernelPathName(pantest::kernelUnderTest());
    EXPECT_EQ(fromFile.right, inProcess.right);
}

TEST_F(PluginProcessing, AsksTheHostForTimeOncePerBlockEvenWhenEmpty) {
    auto instance = createInstance();
    vsthost::StereoBuffer buffer(512);
    host.clearCalls();
    for (const VstInt32 frames : {512, 0, 7, 0}) {
        instance->processReplacing(buffer.channels(), buffer.channels(), frames);
    }
    const auto calls = host.calls();
    ASSERT_EQ(4u, calls.size());
    for (const vsthost::HostCall& call : calls) {
        EXPECT_EQ(audioMasterGetTime, call.opcode);
        EXPECT_EQ(0x600, call.value);
        EXPECT_EQ(0, call.index);
        EXPECT_EQ(instance->record(), call.effect);
    }
}

}  // namespace
