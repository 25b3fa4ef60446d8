// The LV2 bundle against the VST plug-in file and the per-sample model. The
// VST host reports a block's transport once, at its start; an LV2 host sends
// time:Position objects inside its blocks. Each scenario's driver blocks are
// the VST blocks and the pieces of the LV2 blocks alike, so both editions'
// engines see the same calls: the LV2 edition must equal the VST edition
// within 1e-6, and both the model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "lv2_runner.h"
#include "plugin_runner.h"
#include "tests/plugin_fixture.h"

namespace {

using lv2test::HostStyle;
using lv2test::Meter;
using lv2test::Sending;
using pantest::Scenario;
using pantest::Stereo;
using pantest::TimeMode;
using pantest::TransportChange;

constexpr double kTolerance = 1e-6;
// Frames after a change of the sweep's course within which the smoothing
// filter has forgotten it (to well below kTolerance).
constexpr std::size_t kSettleFrames = 32;
constexpr Meter k44{4.0, 4};
constexpr Meter k68{6.0, 8};
constexpr Meter k78{7.0, 8};

Scenario sweep(drifton::WaveShape shape, int periodIndex, double tempo, double start) {
    Scenario s;
    s.waveShape = shape;
    s.periodIndex = periodIndex;
    s.width = 1.0f;
    s.phaseShift = 0.25f;
    s.tempo = tempo;
    s.start = start;
    s.frames = 12000;
    return s;
}

// One scenario and the LV2 hosts it is run through.
struct Case {
    const char* what;
    Scenario scenario;
};

std::vector<Case> tempos() {
    std::vector<Case> cases;
    int n = 0;
    for (const double tempo : {60.0, 96.0, 120.0, 174.0}) {
        for (const double start : {0.0, 5.5, 4321.37}) {
            Scenario s = sweep(pantest::kShapes[n % 3], (n * 5) % 12, tempo, start);
            s.blocks = {512};
            cases.push_back({"tempo and start", s});
            ++n;
        }
    }
    return cases;
}

std::vector<Case> blockPatterns() {
    std::vector<Case> cases;
    for (const auto& blocks : std::vector<std::vector<int>>{
             {1}, {7}, {64, 448}, {4096}, {7, 0, 512, 1, 4096, 33}, {333, 1024, 17}}) {
        Scenario s = sweep(drifton::kSquare, 9, 174.0, 3.0);
        s.blocks = blocks;
        s.frames = blocks.size() == 1 && blocks[0] == 1 ? 3000 : 12000;
        cases.push_back({"block pattern", s});
    }
    return cases;
}

// Loops and seeks while playing; stops, starts and locates while stopped.
std::vector<Case> transports() {
    struct Row {
        const char* what;
        std::vector<TransportChange> changes;
        bool playingFlag;
    };
    const Row rows[] = {
        {"playing throughout", {{0, 1.0, true}}, true},
        {"a loop back to bar 2", {{0, 4.0, true}, {3000, 4.0, true}, {6000, 4.0, true}}, true},
        {"a seek forward", {{0, 2.0, true}, {4000, 100.25, true}}, true},
        {"stopped throughout", {{0, 5.25, false}}, false},
        {"stopped, then playing", {{0, 5.25, false}, {5000, 5.25, true}}, true},
        {"locate while stopped", {{0, 3.0, false}, {4000, 11.5, false}}, false},
        {"playing, stopped, playing", {{0, 1.0, true}, {4000, {}, false}, {8000, {}, true}}, true},
        {"rolling without the playing flag", {{0, 2.0, true}}, false},
    };
    std::vector<Case> cases;
    for (const Row& row : rows) {
        for (const auto& blocks : std::vector<std::vector<int>>{{512}, {100, 412, 7, 0, 33}}) {
            Scenario s = sweep(drifton::kTriangle, 5, 100.0, 0.0);
            s.transport = row.changes;
            s.playingFlag = row.playingFlag;
            s.blocks = blocks;
            cases.push_back({row.what, s});
        }
    }
    return cases;
}

// No time at all, tempo alone, position alone, unusable values.
std::vector<Case> partialTime() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<Case> cases;
    for (const TimeMode mode :
         {TimeMode::kBoth, TimeMode::kNoTempo, TimeMode::kNoPosition, TimeMode::kNullRecord}) {
        Scenario s = sweep(drifton::kTriangle, 8, 174.0, 17.5);
        s.time = mode;
        s.blocks = {1000};
        cases.push_back({"time mode", s});
    }
    for (const double tempo : {0.0, -120.0, nan, inf}) {
        Scenario s = sweep(drifton::kSineShaped, 11, 120.0, 1.5);
        s.reportedTempo = tempo;
        s.reportedUntil = 6000;  // then the real tempo: a tempo change
        cases.push_back({"unusable tempo, then a usable one", s});
    }
    for (const double position : {nan, inf, -inf}) {
        Scenario s = sweep(drifton::kSquare, 11, 120.0, 2.0);
        s.reportedPosition = position;
        s.reportedUntil = 5000;
        cases.push_back({"unusable position, then a usable one", s});
    }
    return cases;
}

// Tempo changes (the reported tempo differs from the one the song moves at
// until a frame) and locates that fall inside an LV2 block.
std::vector<Case> changesInsideABlock() {
    std::vector<Case> cases;
    for (const double tempo : {90.0, 140.0}) {
        Scenario s = sweep(drifton::kSineShaped, 10, 120.0, 0.5);
        s.reportedTempo = tempo;
        s.reportedUntil = 3000;
        s.blocks = {384, 128};
        s.transport = {{0, 0.5, true}};
        s.playingFlag = true;
        cases.push_back({"tempo change inside a block", s});
    }
    Scenario locate = sweep(drifton::kTriangle, 7, 120.0, 0.0);
    locate.blocks = {300, 212};
    locate.transport = {{0, 0.0, true}, {2012, 37.0, true}, {5636, 8.0, false}, {8184, 9.0, false}};
    locate.playingFlag = true;
    cases.push_back({"locates inside a block, playing and stopped", locate});
    return cases;
}

struct Family {
    const char* name;
    std::vector<Case> (*cases)();
};

const Family kFamilies[] = {
    {"Tempos", tempos},
    {"BlockPatterns", blockPatterns},
    {"Transports", transports},
    {"PartialTime", partialTime},
    {"ChangesInsideABlock", changesInsideABlock},
};

// The LV2 hosts every scenario runs through: every piece or changes only,
// beat or bar keys in 4/4, 6/8 and 7/8, pieces joined into larger blocks.
struct Style {
    const char* what;
    HostStyle style;
};

const Style kStyles[] = {
    {"time:beat at every piece", {Sending::kEveryPiece, true, k44, 1}},
    {"time:beat in 6/8, two pieces a block", {Sending::kEveryPiece, true, k68, 2}},
    {"bar keys in 4/4, three pieces a block", {Sending::kEveryPiece, false, k44, 3}},
    {"bar keys in 6/8, two pieces a block", {Sending::kEveryPiece, false, k68, 2}},
    {"bar keys in 7/8, four pieces a block", {Sending::kEveryPiece, false, k78, 4}},
    {"bar keys in 6/8, changes only", {Sending::kOnChange, false, k68, 3}},
    {"time:beat, changes only, eight pieces a block", {Sending::kOnChange, true, k44, 8}},
    // With time:frame the edition measures what beatsPerMinute counts; with
    // quarter notes nothing may change.
    {"bar keys in 7/8 with time:frame, two pieces a block",
     {Sending::kEveryPiece, false, k78, 2, false, true}},
};

class Lv2Equivalence : public PluginFixture, public ::testing::WithParamInterface<Family> {
protected:
    void SetUp() override {
        PluginFixture::SetUp();
        std::string error;
        bundle = lv2host::Plugin::load(DRIFTON_LV2_BUNDLE, "", &error);
        ASSERT_NE(nullptr, bundle) << error;
    }

    std::unique_ptr<lv2host::Plugin> bundle;
};

TEST_P(Lv2Equivalence, EqualsTheVstEditionAndTheModel) {
    const std::vector<Case> cases = GetParam().cases();
    ASSERT_FALSE(cases.empty());
    int n = 0;
    for (const Case& c : cases) {
        const Stereo input = pantest::noise(c.scenario.frames, static_cast<unsigned>(++n));
        for (const Style& style : kStyles) {
            Scenario s = c.scenario;
            s.inPlace = n % 2 == 0;  // as Ardour runs it: outputs on the inputs' buffers
            const lv2test::Lv2Run run = lv2test::runLv2(*bundle, s, input, style.style);
            const Stereo& lv2 = run.out;
            // The VST host's blocks start where the LV2 edition's pieces did.
            const Scenario cut = lv2test::withBlocks(c.scenario, run.pieces);
            const Stereo vst = pantest::runPlugin(entry, host, cut, input);
            const Stereo model = pantest::runModel(cut, input);
            ASSERT_LE(pantest::maxDifference(vst, model), kTolerance) << c.what;
            EXPECT_LE(pantest::maxDifference(lv2, vst), kTolerance)
                << c.what << "; " << style.what << "; " << pantest::describe(s);
            EXPECT_LE(pantest::maxDifference(lv2, model), kTolerance)
                << c.what << "; " << style.what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, Lv2Equivalence, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<Family>& row) {
                             return std::string(row.param.name);
                         });

// A host whose tempo marker counts eighths sends beatsPerMinute in eighths
// per minute, with song positions and frames as usual (Ardour with a marker
// written in eighths). After the first pair of objects the LV2 edition has
// learnt the note value and equals the VST edition, which hears quarter
// notes per minute, through tempo changes inside its blocks; before it, the
// first piece sweeps at the doubled tempo.
class Lv2EighthNoteTempi : public PluginFixture {
protected:
    void SetUp() override {
        PluginFixture::SetUp();
        std::string error;
        bundle = lv2host::Plugin::load(DRIFTON_LV2_BUNDLE, "", &error);
        ASSERT_NE(nullptr, bundle) << error;
    }

    std::unique_ptr<lv2host::Plugin> bundle;
};

// Frames [from, to) of both channels.
Stereo range(const Stereo& x, std::size_t from, std::size_t to) {
    const auto at = [](const std::vector<float>& v, std::size_t i) {
        return v.begin() + static_cast<std::ptrdiff_t>(std::min(i, v.size()));
    };
    return {{at(x.left, from), at(x.left, to)}, {at(x.right, from), at(x.right, to)}};
}

TEST_F(Lv2EighthNoteTempi, EqualTheVstEditionAfterTheFirstPairOfObjects) {
    struct Row {
        const char* what;
        Meter meter;
        bool beatKey;
        int piecesPerBlock;
        std::vector<int> blocks;
    };
    const Row rows[] = {
        {"6/8 bar keys as Ardour types them, 256-frame pieces", k68, false, 2, {256}},
        {"7/8 bar keys, uneven pieces", k78, false, 3, {300, 212, 97}},
        {"4/4 time:beat, one piece a block", k44, true, 1, {512}},
    };
    int n = 0;
    for (const Row& row : rows) {
        Scenario s = sweep(drifton::kTriangle, 5, 144.0, 0.0);
        s.frames = 20000;
        s.blocks = row.blocks;
        s.transport = {{0, 0.0, true}};
        s.playingFlag = true;
        s.tempoChangeAt = 9000;  // inside an LV2 block of two or three pieces
        s.newTempo = 96.0;
        s.inPlace = ++n % 2 == 0;
        HostStyle style{Sending::kEveryPiece, row.beatKey, row.meter, row.piecesPerBlock};
        style.ardourTypes = !row.beatKey;
        style.frameKey = true;
        style.tempoNote = 8;
        const Stereo input = pantest::noise(s.frames, static_cast<unsigned>(40 + n));
        const lv2test::Lv2Run run = lv2test::runLv2(*bundle, s, input, style);
        const Stereo vst =
            pantest::runPlugin(entry, host, lv2test::withBlocks(s, run.pieces), input);
        // The second object comes at the second piece; the smoothing filter
        // carries the first piece's difference for a few frames after it.
        ASSERT_GE(run.pieces.size(), 2u);
        const auto pairAt = static_cast<std::size_t>(run.pieces[0]);
        const std::size_t from = pairAt + kSettleFrames;
        const auto end = static_cast<std::size_t>(s.frames);
        EXPECT_LE(pantest::maxDifference(range(run.out, from, end), range(vst, from, end)),
                  kTolerance)
            << row.what << "; " << pantest::describe(s);
        // Before the pair the first piece ran at twice the tempo: the
        // eighths did reach the edition, and the rule made the rest equal.
        EXPECT_GT(pantest::maxDifference(range(run.out, 0, pairAt), range(vst, 0, pairAt)), 1e-3)
            << row.what;
    }
}

}  // namespace
