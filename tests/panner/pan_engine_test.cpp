// The engine on its own, without any plug-in format: its sample-rate rule,
// its reading of the transport, the per-sample model it must follow, and
// the same sound whether a binding hands it a block whole or in pieces.
#include "engine/pan_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/parameter_table.h"
#include "floatmode/float_mode_guard.h"
#include "tests/block_driver.h"

namespace {

using drifton::KernelPath;
using drifton::PanEngine;
using drifton::Transport;
using pantest::Scenario;
using pantest::Stereo;

std::vector<KernelPath> supportedPaths() {
    std::vector<KernelPath> paths;
    for (const KernelPath path : drifton::kKernelPaths) {
        if (drifton::kernelPathSupported(path)) {
            paths.push_back(path);
        }
    }
    return paths;
}

drifton::PanSettings settingsOf(const pantest::PanParameters& p) {
    drifton::PanSettings s;
    s.periodIndex = p.periodIndex;
    s.waveShape = p.waveShape;
    s.width = p.width;
    s.phaseShift = p.phaseShift;
    return s;
}

// A scenario through an engine, each driver block in one call.
Stereo runEngine(KernelPath path, const Scenario& s, const Stereo& input) {
    const FloatModeGuard flushSubnormals;
    PanEngine engine(path);
    drifton::PanSettings settings;
    Stereo out{std::vector<float>(input.left.size()), std::vector<float>(input.right.size())};
    pantest::drive(
        s, [&](float rate) { engine.prepare(rate); },
        [&](const pantest::PanParameters& p) { settings = settingsOf(p); },
        [&](int offset, int frames, const pantest::BlockTime& time) {
            const auto at = static_cast<std::size_t>(offset);
            Transport transport;
            transport.position = time.reported.position;
            transport.tempo = time.reported.tempo;
            transport.playing = time.reported.playing;
            engine.process(settings, transport,
                           {input.left.data() + at, input.right.data() + at, out.left.data() + at,
                            out.right.data() + at, frames});
        });
    return out;
}

TEST(PanEngine, TakesOnlyFiniteRatesOfAtLeastOneHertz) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float rate;
        bool taken;
    };
    const Case cases[] = {{48000.0f, true}, {1.0f, true},     {0.999f, false},
                          {0.0f, false},    {-0.0f, false},   {-44100.0f, false},
                          {inf, false},     {-inf, false},    {std::nanf(""), false},
                          {1e-40f, false},  {768000.0f, true}};
    PanEngine engine;
    EXPECT_EQ(PanEngine::kInitialSampleRate, engine.sampleRate());
    float expected = engine.sampleRate();
    for (const Case& c : cases) {
        EXPECT_EQ(c.taken, engine.prepare(c.rate)) << c.rate;
        expected = c.taken ? c.rate : expected;
        EXPECT_EQ(expected, engine.sampleRate()) << c.rate;
    }
}

TEST(PanEngine, FollowsTheModelInEveryTimeMode) {
    const pantest::TimeMode modes[] = {pantest::TimeMode::kBoth, pantest::TimeMode::kNoTempo,
                                       pantest::TimeMode::kNoPosition,
                                       pantest::TimeMode::kNullRecord};
    int n = 0;
    for (const pantest::TimeMode mode : modes) {
        for (const drifton::WaveShape shape : pantest::kShapes) {
            Scenario s;
            s.time = mode;
            s.waveShape = shape;
            s.tempo = 97.0 + n;
            s.start = n * 3.25;
            s.blocks = {300, 0, 1, 4096};
            s.frames = 12000;
            s.transport = {{4000, std::nullopt, false}, {8000, 1.5, true}};
            s.playingFlag = n % 2 == 0;
            s.rateChangeAt = 6000;
            s.newRate = 48000.0f;
            const Stereo input = pantest::noise(s.frames, static_cast<unsigned>(n++));
            const Stereo want = pantest::runModel(s, input);
            for (const KernelPath path : supportedPaths()) {
                EXPECT_LE(pantest::maxDifference(runEngine(path, s, input), want), 1e-6)
                    << drifton::kernelPathName(path) << ": " << pantest::describe(s);
            }
        }
    }
}

TEST(PanEngine, UnusableTransportValuesCountAsMissing) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::nan("");
    struct Case {
        Transport given;
        Transport same;  // what the engine must hear instead
    };
    const Case cases[] = {
        {{nan, 90.0, true}, {std::nullopt, 90.0, true}},
        {{inf, 90.0, false}, {std::nullopt, 90.0, false}},
        {{-inf, std::nullopt, true}, {std::nullopt, std::nullopt, true}},
        {{2.0, 0.0, true}, {2.0, std::nullopt, true}},
        {{2.0, -120.0, true}, {2.0, std::nullopt, true}},
        {{2.0, nan, true}, {2.0, std::nullopt, true}},
        {{2.0, inf, true}, {2.0, std::nullopt, true}},
        {{2.0, 120.0, true}, {2.0, std::nullopt, true}},  // 120 is the default
    };
    const Stereo input = pantest::noise(2000, 3);
    for (const KernelPath path : supportedPaths()) {
        for (const Case& c : cases) {
            const FloatModeGuard flushSubnormals;
            PanEngine given(path), same(path);
            Stereo a = input, b = input;
            for (int block = 0; block < 4; ++block) {
                const auto at = static_cast<std::size_t>(block * 500);
                given.process({}, c.given,
                              {a.left.data() + at, a.right.data() + at, a.left.data() + at,
                               a.right.data() + at, 500});
                same.process({}, c.same,
                             {b.left.data() + at, b.right.data() + at, b.left.data() + at,
                              b.right.data() + at, 500});
            }
            EXPECT_EQ(a.left, b.left) << drifton::kernelPathName(path);
            EXPECT_EQ(a.right, b.right) << drifton::kernelPathName(path);
        }
    }
}

// A binding that splits a host block (at events inside it) hands the engine
// consecutive pieces, each with the transport a host would report for its
// first frame: while playing, the position advanced by the frames before it;
// while stopped, the same position; without one, none.
TEST(PanEngine, PiecesWithAContinuousTransportSoundAsOneBlock) {
    enum class Motion { kPlaying, kStopped, kNoPosition, kPlayingNoFlag };
    struct Case {
        Motion motion;
        drifton::WaveShape shape;
        double tempo;
        double start;
        std::vector<int> cuts;  // piece lengths within each 1024-frame block
        double tolerance = 1e-6;
    };
    const Case cases[] = {
        {Motion::kPlaying, drifton::kSineShaped, 120.0, 0.0, {1, 255, 256, 512}},
        {Motion::kPlaying, drifton::kSquare, 174.3, 1234.56, {100, 900, 24}},
        {Motion::kPlaying, drifton::kTriangle, 60.0, 3.0, {1023, 1}},
        {Motion::kStopped, drifton::kSineShaped, 133.0, 5.25, {300, 300, 424}},
        // A stopped song stands at 17.25: the first piece sweeps on from the
        // host's position, the next from the sweep's own position (kept
        // modulo 8 beats), whose floats are finer than those near 17, so
        // the pieces differ from one call by that rounding of the position.
        {Motion::kStopped, drifton::kSineShaped, 133.0, 17.25, {300, 300, 424}, 2e-5},
        {Motion::kNoPosition, drifton::kSquare, 90.0, 0.0, {7, 7, 1010}},
        {Motion::kPlayingNoFlag, drifton::kTriangle, 140.0, 8.5, {512, 512}},
    };
    constexpr float kRate = 48000.0f;
    constexpr int kBlock = 1024;
    constexpr int kBlocks = 12;
    for (const KernelPath path : supportedPaths()) {
        for (const Case& c : cases) {
            const FloatModeGuard flushSubnormals;
            drifton::PanSettings settings;
            settings.waveShape = c.shape;
            settings.width = 1.0f;
            settings.periodIndex = 6;
            PanEngine whole(path), pieces(path);
            whole.prepare(kRate);
            pieces.prepare(kRate);
            const Stereo input = pantest::noise(kBlock * kBlocks, 11);
            Stereo a = input, b = input;
            const double beatsPerFrame = c.tempo / 60.0 / static_cast<double>(kRate);
            const auto transportAt = [&](int frame) {
                Transport t;
                t.tempo = c.tempo;
                switch (c.motion) {
                case Motion::kPlaying:
                    t.position = c.start + frame * beatsPerFrame;
                    t.playing = true;
                    break;
                case Motion::kPlayingNoFlag:
                    t.position = c.start + frame * beatsPerFrame;
                    break;
                case Motion::kStopped:
                    t.position = c.start;
                    break;
                case Motion::kNoPosition:
                    break;
                }
                return t;
            };
            for (int block = 0; block < kBlocks; ++block) {
                const int first = block * kBlock;
                const auto at = static_cast<std::size_t>(first);
                whole.process(settings, transportAt(first),
                              {a.left.data() + at, a.right.data() + at, a.left.data() + at,
                               a.right.data() + at, kBlock});
                int offset = first;
                for (const int length : c.cuts) {
                    const auto o = static_cast<std::size_t>(offset);
                    pieces.process(settings, transportAt(offset),
                                   {b.left.data() + o, b.right.data() + o, b.left.data() + o,
                                    b.right.data() + o, length});
                    offset += length;
                }
                ASSERT_EQ(first + kBlock, offset);
            }
            EXPECT_LE(pantest::maxDifference(a, b), c.tolerance)
                << drifton::kernelPathName(path) << " motion " << static_cast<int>(c.motion);
            EXPECT_NEAR(whole.runningPosition(), pieces.runningPosition(), 1e-9);
        }
    }
}

TEST(PanEngine, EmptyPiecesChangeNothing) {
    PanEngine engine;
    drifton::SmoothingFilter& f = engine.filter();
    f.y1 = 0.25f;
    const Transport playing{4.0, 120.0, true};
    float sample = 1.0f;
    for (const int frames : {0, -1, -512}) {
        engine.process({}, playing, {&sample, &sample, &sample, &sample, frames});
    }
    EXPECT_EQ(0.25f, f.y1);
    EXPECT_EQ(0.0, engine.runningPosition());
    EXPECT_EQ(1.0f, sample);
}

}  // namespace
