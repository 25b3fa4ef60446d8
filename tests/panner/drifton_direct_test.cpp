// DriftonVST driven directly, through its record's processing entry as a
// host calls it: what the block does before and around the per-sample loop
// (time query, early returns, floating-point mode, subnormal flushing,
// sample-rate bookkeeping) and the ranges of its parameter fields.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "tests/panner/exposed_drifton.h"

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

    static std::array<float, 4> history(const ExposedDrifton& e) {
        return {e.filter.x1, e.filter.x2, e.filter.y1, e.filter.y2};
    }
    // Sets the history to recognisable values and returns them.
    static std::array<float, 4> markHistory(ExposedDrifton& e) {
        e.filter.x1 = 0.125f;
        e.filter.x2 = 0.25f;
        e.filter.y1 = 0.375f;
        e.filter.y2 = 0.5f;
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
    ExposedDrifton e{host};
    const std::array<float, 6> before = {e.filter.a0, e.filter.a1, e.filter.a2,
                                         e.filter.b0, e.filter.b1, e.filter.b2};
    AEffect* record = e.getEffectRecord();
    for (const float rate : {96000.0f, 22050.0f, 0.0f, std::nanf("")}) {
        record->dispatcher(record, effSetSampleRate, 0, 0, nullptr, rate);
        EXPECT_EQ(before, (std::array<float, 6>{e.filter.a0, e.filter.a1, e.filter.a2, e.filter.b0,
                                                e.filter.b1, e.filter.b2}))
            << rate;
    }
}

TEST_F(DriftonDirect, UnusableSampleRatesAreStoredButProcessingKeepsTheLastUsableOne) {
    ExposedDrifton changed{host};
    ExposedDrifton reference{host};
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
    ExposedDrifton reference{host};
    reference.setSampleRate(96000.0f);
    const std::vector<float> expected = render(reference, 4096, 1.0f);

    ExposedDrifton viaBoth{host};
    viaBoth.setBlockSizeAndSampleRate(256, 96000.0f);
    EXPECT_EQ(256, viaBoth.getBlockSize());
    EXPECT_EQ(expected, render(viaBoth, 4096, 1.0f));

    ExposedDrifton viaHost{host};
    host.setAnswer(audioMasterGetSampleRate, 96000);
    EXPECT_EQ(96000.0, viaHost.updateSampleRate());
    EXPECT_EQ(expected, render(viaHost, 4096, 1.0f));

    ExposedDrifton untouched{host};
    EXPECT_NE(expected, render(untouched, 4096, 1.0f)) << "44100 and 96000 must differ";
}

TEST_F(DriftonDirect, ZeroOrNegativeFrameCountsOnlyAskForTheTime) {
    ExposedDrifton e{host};
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
    ExposedDrifton e{host};
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
    ExposedDrifton e{host};
    render(e, 700, 1.0f);
    const auto after = history(e);
    EXPECT_NE(0.0f, after[2]);
    AEffect* record = e.getEffectRecord();
    record->dispatcher(record, effMainsChanged, 0, 0, nullptr, 0.0f);
    record->dispatcher(record, effMainsChanged, 0, 1, nullptr, 0.0f);
    EXPECT_EQ(after, history(e));
}

#if defined(__x86_64__)
TEST_F(DriftonDirect, CallersFloatingPointModeIsRestored) {
    ExposedDrifton e{host};
    e.setParameter(drifton::kWaveShape, 1.0f);
    e.setParameter(drifton::kPeriod, 1.0f);
    std::vector<float> in(3000, 1.0f), left(3000), right(3000);
    float* inputs[] = {in.data(), in.data()};
    float* outputs[] = {left.data(), right.data()};
    // Rounding, masks, flush-to-zero and denormals-are-zero; not the sticky
    // exception flags, which any arithmetic may raise.
    constexpr unsigned int kControlBits = ~0x3Fu;
    const unsigned int original = _mm_getcsr();
    // Default mode; flush modes already on; rounding toward zero, flags raised.
    for (const unsigned int callerMode : {0x1F80u, 0x9FC0u, 0x7FBFu}) {
        for (const VstInt32 frames : {3000, 1, 0}) {
            _mm_setcsr(callerMode);
            process(e, inputs, outputs, frames);
            const unsigned int after = _mm_getcsr();
            _mm_setcsr(original);
            EXPECT_EQ(callerMode & kControlBits, after & kControlBits)
                << std::hex << callerMode << " " << frames;
        }
        _mm_setcsr(callerMode);
        process(e, nullptr, outputs, 16);
        const unsigned int after = _mm_getcsr();
        _mm_setcsr(original);
        EXPECT_EQ(callerMode & kControlBits, after & kControlBits) << std::hex << callerMode;
    }
}
#endif

TEST_F(DriftonDirect, NoSubnormalLeavesTheSquareShape) {
    ExposedDrifton e{host};
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
    ExposedDrifton e{host};
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {-1e30f, -1.0f, -0.0f,         1e-42f, 0.5f, 1.0000001f,
                            2.0f,   1e30f, std::nanf(""), inf,    -inf};
    for (VstInt32 index = 0; index < 4; ++index) {
        for (const float value : values) {
            e.setParameter(index, value);
            EXPECT_GE(e.parameters.periodIndex.load(), 0);
            EXPECT_LE(e.parameters.periodIndex.load(), 11);
            EXPECT_GE(e.parameters.waveShape.load(), 0);
            EXPECT_LE(e.parameters.waveShape.load(), 2);
            EXPECT_GE(e.parameters.width.load(), 0.0f);
            EXPECT_LE(e.parameters.width.load(), 1.0f);
            EXPECT_GE(e.parameters.phaseShift.load(), -1.0f);
            EXPECT_LE(e.parameters.phaseShift.load(), 1.0f);
        }
    }
    // The last finite value, 1e30 clamped to 1, survives NaN and the infinities.
    EXPECT_EQ(11, e.parameters.periodIndex.load());
    EXPECT_EQ(2, e.parameters.waveShape.load());
    EXPECT_EQ(1.0f, e.parameters.width.load());
    EXPECT_EQ(1.0f, e.parameters.phaseShift.load());
}

}  // namespace
