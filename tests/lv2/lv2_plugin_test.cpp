// The LV2 edition's own behaviour through our lilv host: controls in plain
// units as the VST edition's host values, clamping and ignoring, events that
// are not time positions, events out of order or past the block, hosts
// without urid:map or without an atom input at all.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "engine/parameter_table.h"
#include "host/lv2_host.h"
#include "lv2_runner.h"
#include "plugin_runner.h"
#include "tests/plugin_fixture.h"

namespace {

using lv2host::Event;
using lv2host::TimePosition;
using pantest::Stereo;

constexpr int kFrames = 8192;
constexpr std::uint32_t kBlock = 512;

TimePosition playingAt(double beat, double tempo = 120.0) {
    TimePosition t;
    t.beat = beat;
    t.beatsPerMinute = tempo;
    t.speed = 1.0;
    return t;
}

class Lv2Plugin : public PluginFixture {
protected:
    void SetUp() override {
        PluginFixture::SetUp();
        std::string error;
        bundle = lv2host::Plugin::load(DRIFTON_LV2_BUNDLE, "", &error);
        ASSERT_NE(nullptr, bundle) << error;
        input = pantest::noise(kFrames, 3);
    }

    // A fresh instance over the input in blocks of `block` frames; `events`
    // gives each block's events (in beat time with `beatTime`), `controls` the
    // values set before the first.
    Stereo run(const std::vector<std::pair<std::string, float>>& controls,
               const std::function<std::vector<Event>(int block)>& events = {},
               lv2host::Features features = {}, std::uint32_t block = kBlock,
               bool timeConnected = true, bool beatTime = false) {
        std::string error;
        auto instance = bundle->instantiate(44100.0, features, &error);
        EXPECT_NE(nullptr, instance) << error;
        if (instance == nullptr) {
            return {};
        }
        if (!timeConnected) {
            instance->disconnectTime();
        }
        if (beatTime) {
            instance->useBeatTime();
        }
        for (const auto& [symbol, value] : controls) {
            EXPECT_TRUE(instance->setControl(symbol, value)) << symbol;
        }
        Stereo out{std::vector<float>(kFrames), std::vector<float>(kFrames)};
        for (std::uint32_t at = 0, n = 0; at < kFrames; at += block, ++n) {
            const std::vector<Event> blockEvents =
                events ? events(static_cast<int>(n)) : std::vector<Event>{};
            instance->run(input.left.data() + at, input.right.data() + at, out.left.data() + at,
                          out.right.data() + at, std::min<std::uint32_t>(block, kFrames - at),
                          blockEvents);
        }
        return out;
    }

    // The VST edition over the same input without time information, at the
    // given normalised host values.
    Stereo vst(const std::vector<std::pair<int, float>>& hostValues, std::vector<int> blocks) {
        auto instance = createInstance();
        instance->dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        instance->dispatch(effMainsChanged, 0, 1);
        for (const auto& [index, value] : hostValues) {
            instance->setParameter(index, value);
        }
        host.setTimeInfoAvailable(false);
        Stereo out{std::vector<float>(kFrames), std::vector<float>(kFrames)};
        std::vector<float> inL = input.left, inR = input.right;
        for (std::size_t at = 0, n = 0; at < kFrames; ++n) {
            const auto frames = std::min<std::size_t>(
                static_cast<std::size_t>(blocks[n % blocks.size()]), kFrames - at);
            float* inputs[] = {inL.data() + at, inR.data() + at};
            float* outputs[] = {out.left.data() + at, out.right.data() + at};
            instance->processReplacing(inputs, outputs, static_cast<VstInt32>(frames));
            at += frames;
        }
        host.setTimeInfoAvailable(true);
        return out;
    }

    std::unique_ptr<lv2host::Plugin> bundle;
    Stereo input;
};

TEST_F(Lv2Plugin, PlainControlValuesSoundAsTheirVstHostValues) {
    struct Row {
        const char* symbol;
        float plain;
        int index;
        float hostValue;
    };
    const Row rows[] = {
        {"width", 80.0f, drifton::kWidth, 0.8f},
        {"width", 0.0f, drifton::kWidth, 0.0f},
        {"phase", -90.0f, drifton::kPhaseShift, 0.25f},
        {"phase", 180.0f, drifton::kPhaseShift, 1.0f},
        {"period", 11.0f, drifton::kPeriod, 1.0f},
        {"period", 7.0f, drifton::kPeriod, 7.0f / 11.0f},
        {"type", 0.0f, drifton::kWaveShape, 0.0f},
        {"type", 2.0f, drifton::kWaveShape, 1.0f},
    };
    for (const Row& row : rows) {
        const Stereo lv2 = run({{"period", 10.0f}, {row.symbol, row.plain}});
        const Stereo vst =
            this->vst({{drifton::kPeriod, 10.0f / 11.0f}, {row.index, row.hostValue}},
                      {static_cast<int>(kBlock)});
        EXPECT_EQ(0.0, pantest::maxDifference(lv2, vst)) << row.symbol << " " << row.plain;
    }
}

TEST_F(Lv2Plugin, OutOfRangeValuesAreClampedAndEnumerationsRounded) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Row {
        const char* symbol;
        float given;
        float meant;
    };
    const Row rows[] = {
        {"width", 150.0f, 100.0f}, {"width", -3.0f, 0.0f},   {"phase", -1000.0f, -180.0f},
        {"phase", 1e30f, 180.0f},  {"period", 20.0f, 11.0f}, {"period", 8.6f, 9.0f},
        {"period", -2.0f, 0.0f},   {"type", -5.0f, 0.0f},    {"type", 1.4f, 1.0f},
        {"type", 3.0f, 2.0f},      {"width", -inf, 75.0f},  // not finite: the default stays
    };
    for (const Row& row : rows) {
        EXPECT_EQ(0.0, pantest::maxDifference(run({{"period", 10.0f}, {row.symbol, row.given}}),
                                              run({{"period", 10.0f}, {row.symbol, row.meant}})))
            << row.symbol << " " << row.given;
    }
}

TEST_F(Lv2Plugin, ANonFiniteValueKeepsTheLastOne) {
    for (const float bad : {std::nanf(""), std::numeric_limits<float>::infinity()}) {
        std::string error;
        auto instance = bundle->instantiate(44100.0, {}, &error);
        auto reference = bundle->instantiate(44100.0, {}, &error);
        ASSERT_TRUE(instance && reference) << error;
        instance->setControl("phase", 45.0f);
        reference->setControl("phase", 45.0f);
        Stereo a{std::vector<float>(kFrames), std::vector<float>(kFrames)}, b = a;
        for (std::uint32_t at = 0; at < kFrames; at += kBlock) {
            if (at == 2 * kBlock) {
                instance->setControl("phase", bad);  // phase has no infinity to clamp to
            }
            instance->run(input.left.data() + at, input.right.data() + at, a.left.data() + at,
                          a.right.data() + at, kBlock);
            reference->run(input.left.data() + at, input.right.data() + at, b.left.data() + at,
                           b.right.data() + at, kBlock);
        }
        EXPECT_EQ(0.0, pantest::maxDifference(a, b)) << bad;
    }
}

// Events that are not time positions, and keys the panner does not read,
// change nothing.
TEST_F(Lv2Plugin, OtherEventsAndUnknownKeysChangeNothing) {
    const auto positions = [](int block) {
        return std::vector<Event>{{0, playingAt(0.5 + block * 0.75)}};
    };
    const Stereo reference = run({}, positions);
    const auto withOthers = [&](int block) {
        std::vector<Event> events = positions(block);
        TimePosition unknownKeys = std::get<TimePosition>(events[0].atom);
        unknownKeys.extraKeys = {{"urn:test:bar", 99.0}, {"urn:test:speed", 0.0}};
        events[0].atom = unknownKeys;
        TimePosition otherObject = playingAt(77.0, 33.0);
        otherObject.objectType = "urn:test:NotAPosition";
        events.push_back({100, otherObject});
        events.push_back(
            {200, lv2host::RawAtom{"http://lv2plug.in/ns/ext/midi#MidiEvent", {0x90, 60, 100}}});
        events.push_back(
            {300, lv2host::RawAtom{"http://lv2plug.in/ns/ext/atom#Float", {0, 0, 0x80, 0x3f}}});
        return events;
    };
    EXPECT_EQ(0.0, pantest::maxDifference(reference, run({}, withOthers)));
}

TEST_F(Lv2Plugin, EventsOutOfOrderOrPastTheBlockApplyWhereTheyCan) {
    const auto inOrder = [](int block) {
        return std::vector<Event>{{300, playingAt(block * 2.0)},
                                  {300, playingAt(block * 2.0 + 0.3)}};
    };
    const auto outOfOrder = [](int block) {
        return std::vector<Event>{{300, playingAt(block * 2.0)},
                                  {100, playingAt(block * 2.0 + 0.3)}};
    };
    EXPECT_EQ(0.0, pantest::maxDifference(run({}, inOrder), run({}, outOfOrder)));

    const auto nextBlock = [](int block) {
        return std::vector<Event>{{0, playingAt(block * 1.5)}};
    };
    const auto pastTheEnd = [](int block) {
        std::vector<Event> events = {{kBlock + 90, playingAt((block + 1) * 1.5)}};
        if (block == 0) {
            events.insert(events.begin(), {0, playingAt(0.0)});
        }
        return events;
    };
    EXPECT_EQ(0.0, pantest::maxDifference(run({}, nextBlock), run({}, pastTheEnd)));
    // And the positions are heard: a different song position sounds different.
    EXPECT_GT(pantest::maxDifference(run({}, nextBlock), run({}, inOrder)), 0.1);
}

// A sequence in beat time cannot place its events in frames: each position
// applies at the block's start, as one at frame 0 would.
TEST_F(Lv2Plugin, BeatTimePositionsApplyAtTheBlockStart) {
    const auto atStart = [](int block) {
        return std::vector<Event>{{0, playingAt(block * 1.25 + 3.0)}};
    };
    const auto later = [](int block) {
        return std::vector<Event>{{300, playingAt(block * 1.25 + 3.0)}};
    };
    const Stereo reference = run({}, atStart);
    const Stereo beats = run({}, later, {}, kBlock, true, true);
    EXPECT_EQ(0.0, pantest::maxDifference(reference, beats));
    // In frames the same offsets are heard where they fall.
    EXPECT_GT(pantest::maxDifference(reference, run({}, later)), 1e-3);
}

// Without urid:map or without an atom input (lv2apply: no features, one
// frame per run) the sweep runs free at 120 from 0, as the VST edition does
// without time information.
TEST_F(Lv2Plugin, WithoutTimeTheSweepRunsFreeAsTheVstEditionDoes) {
    const Stereo vst = this->vst({{drifton::kPeriod, 1.0f}, {drifton::kWidth, 1.0f}}, {1});
    const std::vector<std::pair<std::string, float>> controls = {{"period", 11.0f},
                                                                 {"width", 100.0f}};
    const auto sent = [](int block) {
        return std::vector<Event>{{0, playingAt(block * 9.0, 60.0)}};
    };
    struct Row {
        const char* what;
        lv2host::Features features;
        std::uint32_t block;
        bool connected;
        bool events;
    };
    const Row rows[] = {{"no urid:map, positions sent", {false}, kBlock, true, true},
                        {"no features, no atom input, one frame a run", {false}, 1, false, false},
                        {"an empty sequence", {true}, kBlock, true, false}};
    for (const Row& row : rows) {
        const Stereo lv2 =
            run(controls, row.events ? std::function<std::vector<Event>(int)>(sent) : nullptr,
                row.features, row.block, row.connected);
        EXPECT_LE(pantest::maxDifference(lv2, vst), 1e-6) << row.what;
    }
    EXPECT_GT(pantest::maxDifference(run(controls, sent), vst), 0.1) << "the positions are heard";
}

// Ardour sends barBeat, beatsPerBar and the tempo as single-precision
// floats: the sweep follows the song within their rounding.
TEST_F(Lv2Plugin, ArdourNumberTypesFollowTheSong) {
    pantest::Scenario s;
    s.periodIndex = 9;
    s.width = 1.0f;
    s.tempo = 96.0;
    s.start = 37.25;
    s.frames = kFrames;
    s.transport = {{0, 37.25, true}};
    s.playingFlag = true;
    const Stereo model = pantest::runModel(s, input);
    for (const lv2test::Meter meter : {lv2test::Meter{6.0, 8}, lv2test::Meter{7.0, 8}}) {
        lv2test::HostStyle style{lv2test::Sending::kEveryPiece, false, meter, 2, true};
        EXPECT_LE(pantest::maxDifference(lv2test::runLv2(*bundle, s, input, style).out, model),
                  1e-4)
            << meter.beatsPerBar << "/" << meter.beatUnit;
    }
}

}  // namespace
