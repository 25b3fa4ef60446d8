// DriftonVST driven directly, through its record's processing entry as a
// host calls it: what the block does before and around the per-sample loop
// (time query, early returns, floating-point mode, subnormal flushing,
// sample-rate bookkeeping) and the ranges of its parameter fields.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "host/vst_host.h"
#include "panner/drifton_vst.h"
#include "tests/caller_float_modes.h"
#include "tests/kernel_under_test.h"

namespace {

constexpr float kSentinel = -12345.0f;

class DriftonDirect : public ::testing::Test {
protected:
    // One block through the record's replacing entry, boundary included.
    static void process(DriftonVST& effect, float** inputs, float** outputs, VstInt32 frames) {
        AEffect* record = effect.getEffectRecord();
        record->processReplacing(record, inputs, outputs, frames);
    }

    // Calls other than the time request.
    std::size_t otherCalls() const {
        return host.calls().size() - host.countCalls(audioMasterGetTime);
    }

    vsthost::RecordingHost host;

    // A DriftonVST with the kernel path under test, served by `host`.
    struct Drifton : DriftonVST {
        explicit Drifton(vsthost::Host& host)
            : DriftonVST(vsthost::Host::callback(), pantest::kernelUnderTest()) {
            host.attach(getEffectRecord());
        }
    };

    static std::array<float, 4> history(const DriftonVST& e) {
        const drifton::SmoothingFilter& f = e.engine().filter();
        return {f.x1, f.x2, f.y1, f.y2};
    }
    // Sets the history to recognisable values and returns them.
    static std::array<float, 4> markHistory(DriftonVST& e) {
        drifton::SmoothingFilter& f = e.engine().filter();
        f.x1 = 0.125f;
        f.x2 = 0.25f;
        f.y1 = 0.375f;
        f.y2 = 0.5f;
        return history(e);
    }

    // Processes `frames` frames of a constant input in blocks of 512 and
    // returns left and right outputs one after the other.
    static std::vector<float> render(DriftonVST& effect, int frames, float input) {
        std::vector<float> in(static_cast<std::size_t>(frames), input);
        std::vector<float> left(in.size()), right(in.size());
        for (int done = 0; done < frames; done += 512) {
            const auto offset = static_cast<std::size_t>(done);
            float* inputs[] = {in.data() + offset, in.data() + offset};
            float* outputs[] = {left.data() + offset, right.data() + offset};
            process(effect, inputs, outputs, std::min(512, frames - done));
        }
        left.insert(left.end(), right.begin(), right.end());
        return left;
    }
};

TEST_F(DriftonDirect, SampleRateChangesNeverTouchTheFilterCoefficients) {
    Drifton e{host};
    const drifton::SmoothingFilter& f = e.engine().filter();
    const std::array<float, 6> before = {f.a0, f.a1, f.a2, f.b0, f.b1, f.b2};
    AEffect* record = e.getEffectRecord();
    for (const float rate : {96000.0f, 22050.0f, 0.0f, std::nanf("")}) {
        record->dispatcher(record, effSetSampleRate, 0, 0, nullptr, rate);
        EXPECT_EQ(before, (std::array<float, 6>{f.a0, f.a1, f.a2, f.b0, f.b1, f.b2})) << rate;
    }
}

TEST_F(DriftonDirect, UnusableSampleRatesAreStoredButProcessingKeepsTheLastUsableOne) {
    Drifton changed{host};
    Drifton reference{host};
    changed.setSampleRate(96000.0f);
    reference.setSampleRate(96000.0f);
    for (const float rate : {0.0f, -48000.0f, 1e-40f, 0.5f, std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), std::nanf("")}) {
        changed.setSampleRate(rate);
        if (std::isnan(rate)) {
            EXPECT_TRUE(std::isnan(changed.getSampleRate()));
        } else {
            EXPECT_EQ(rate, changed.getSampleRate()) << "the framework field stores any rate";
        }
    }
    const std::vector<float> got = render(changed, 4096, 1.0f);
    for (const float sample : got) {
        ASSERT_TRUE(std::isfinite(sample));
    }
    EXPECT_EQ(render(reference, 4096, 1.0f), got);
}

TEST_F(DriftonDirect, EveryWayOfSettingTheRateReachesProcessing) {
    Drifton reference{host};
    reference.setSampleRate(96000.0f);
    const std::vector<float> expected = render(reference, 4096, 1.0f);

    Drifton viaBoth{host};
    viaBoth.setBlockSizeAndSampleRate(256, 96000.0f);
    EXPECT_EQ(256, viaBoth.getBlockSize());
    EXPECT_EQ(expected, render(viaBoth, 4096, 1.0f));

    Drifton viaHost{host};
    host.setAnswer(audioMasterGetSampleRate, 96000);
    EXPECT_EQ(96000.0, viaHost.updateSampleRate());
    EXPECT_EQ(expected, render(viaHost, 4096, 1.0f));

    Drifton untouched{host};
    EXPECT_NE(expected, render(untouched, 4096, 1.0f)) << "44100 and 96000 must differ";
}

TEST_F(DriftonDirect, ZeroOrNegativeFrameCountsOnlyAskForTheTime) {
    Drifton e{host};
    const auto marked = markHistory(e);
    float in[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float out[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
    float* inputs[] = {in, in + 2};
    float* outputs[] = {out, out + 2};
    std::size_t expectedQueries = 0;
    for (const VstInt32 frames : {0, -1, -4096}) {
        process(e, inputs, outputs, frames);
        EXPECT_EQ(++expectedQueries, host.countCalls(audioMasterGetTime)) << frames;
        const auto calls = host.calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(0x600, calls.back().value);
        EXPECT_EQ(marked, history(e));
        for (const float sample : out) {
            EXPECT_EQ(kSentinel, sample);
        }
    }
    EXPECT_EQ(0u, otherCalls());
}

TEST_F(DriftonDirect, MissingBuffersWriteNothing) {
    Drifton e{host};
    const auto marked = markHistory(e);
    std::array<float, 8> in{};
    in.fill(0.5f);
    std::array<float, 8> outLeft{}, outRight{};
    outLeft.fill(kSentinel);
    outRight.fill(kSentinel);
    float* inputs[] = {in.data(), in.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};
    float* noLeftIn[] = {nullptr, in.data()};
    float* noRightIn[] = {in.data(), nullptr};
    float* noLeftOut[] = {nullptr, outRight.data()};
    float* noRightOut[] = {outLeft.data(), nullptr};

    struct Case {
        float** inputs;
        float** outputs;
    };
    const Case cases[] = {{nullptr, outputs},  {inputs, nullptr},    {nullptr, nullptr},
                          {noLeftIn, outputs}, {noRightIn, outputs}, {inputs, noLeftOut},
                          {inputs, noRightOut}};
    for (const Case& c : cases) {
        process(e, c.inputs, c.outputs, 8);
    }
    EXPECT_EQ(7u, host.countCalls(audioMasterGetTime));
    EXPECT_EQ(marked, history(e));
    for (std::size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(kSentinel, outLeft[i]);
        EXPECT_EQ(kSentinel, outRight[i]);
    }
}

TEST_F(DriftonDirect, HistoryCarriesOverSuspendAndResume) {
    Drifton e{host};
    render(e, 700, 1.0f);
    const auto after = history(e);
    EXPECT_NE(0.0f, after[2]);
    AEffect* record = e.getEffectRecord();
    record->dispatcher(record, effMainsChanged, 0, 0, nullptr, 0.0f);
    record->dispatcher(record, effMainsChanged, 0, 1, nullptr, 0.0f);
    EXPECT_EQ(after, history(e));
}

#if DRIFTON_FLOAT_MODE_CONTROLLED
TEST_F(DriftonDirect, CallersFloatingPointModeIsRestored) {
    Drifton e{host};
    e.setParameter(drifton::kWaveShape, 1.0f);
    e.setParameter(drifton::kPeriod, 1.0f);
    std::vector<float> in(3000, 1.0f), left(3000), right(3000);
    float* inputs[] = {in.data(), in.data()};
    float* outputs[] = {left.data(), right.data()};
    // Rounding, masks and the flush bits; not the sticky exception flags,
    // which any arithmetic may raise.
    constexpr floatmode::Control kControlBits = floatmode::kModeBits;
    const floatmode::Control original = floatmode::readControl();
    for (const floatmode::Control callerMode : pantest::kCallerFloatModes) {
        for (const VstInt32 frames : {3000, 1, 0}) {
            floatmode::writeControl(callerMode);
            process(e, inputs, outputs, frames);
            const floatmode::Control after = floatmode::readControl();
            floatmode::writeControl(original);
            EXPECT_EQ(callerMode & kControlBits, after & kControlBits)
                << std::hex << callerMode << " " << frames;
        }
        floatmode::writeControl(callerMode);
        process(e, nullptr, outputs, 16);
        const floatmode::Control after = floatmode::readControl();
        floatmode::writeControl(original);
        EXPECT_EQ(callerMode & kControlBits, after & kControlBits) << std::hex << callerMode;
    }
}
#endif

TEST_F(DriftonDirect, NoSubnormalLeavesTheSquareShape) {
    Drifton e{host};
    e.setParameter(drifton::kWaveShape, 1.0f);  // square
    e.setParameter(drifton::kWidth, 1.0f);      // the filter settles on exactly 0 or 1
    e.setParameter(drifton::kPeriod, 1.0f);     // 1/64: many jumps
    const std::vector<float> normalInput = render(e, 20000, 1.0f);
    const std::vector<float> subnormalInput = render(e, 2000, 1e-40f);
    int zeros = 0;
    for (const float sample : normalInput) {
        ASSERT_NE(FP_SUBNORMAL, std::fpclassify(sample));
        zeros += sample == 0.0f ? 1 : 0;
    }
    EXPECT_GT(zeros, 1000) << "the silenced side reaches exactly zero";
    for (const float sample : subnormalInput) {
        ASSERT_EQ(0.0f, sample) << "subnormal input reads as zero";
    }
    for (const float value : history(e)) {
        EXPECT_NE(FP_SUBNORMAL, std::fpclassify(value));
    }
}

TEST_F(DriftonDirect, HostValuesCannotPushFieldsOutOfRange) {
    Drifton e{host};
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {-1e30f, -1.0f, -0.0f,         1e-42f, 0.5f, 1.0000001f,
                            2.0f,   1e30f, std::nanf(""), inf,    -inf};
    for (VstInt32 index = 0; index < 4; ++index) {
        for (const float value : values) {
            e.setParameter(index, value);
            const drifton::PanSettings fields = e.settings();
            EXPECT_GE(fields.periodIndex, 0);
            EXPECT_LE(fields.periodIndex, 11);
            EXPECT_GE(fields.waveShape, 0);
            EXPECT_LE(fields.waveShape, 2);
            EXPECT_GE(fields.width, 0.0f);
            EXPECT_LE(fields.width, 1.0f);
            EXPECT_GE(fields.phaseShift, -1.0f);
            EXPECT_LE(fields.phaseShift, 1.0f);
        }
    }
    // The last finite value, 1e30 clamped to 1, survives NaN and the infinities.
    EXPECT_EQ(11, e.settings().periodIndex);
    EXPECT_EQ(2, e.settings().waveShape);
    EXPECT_EQ(1.0f, e.settings().width);
    EXPECT_EQ(1.0f, e.settings().phaseShift);
}

}  // namespace
