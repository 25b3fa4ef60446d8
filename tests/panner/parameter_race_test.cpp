// Parameters and sample rate changed on one thread while another thread
// processes audio, as hosts do. Run under ThreadSanitizer this finds any
// unsynchronised field; in every build it checks the audio stays sane.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "host/vst_host.h"
#include "panner/drifton_vst.h"
#include "tests/kernel_under_test.h"

namespace {

TEST(ParameterRace, AutomationDuringProcessingIsRaceFreeAndKeepsAudioBounded) {
    vsthost::Host host;
    const auto instance = vsthost::Instance::create(&pantest::inProcessEntry, host);
    ASSERT_NE(nullptr, instance);
    AEffect* record = instance->record();
    std::atomic<bool> processing{true};
    std::atomic<long> changes{0};

    std::thread automation([&] {
        const float values[] = {
            0.0f,  1.0f, 0.999f, 0.25f,         0.5f,
            -3.0f, 7.0f, 1e-40f, std::nanf(""), std::numeric_limits<float>::infinity()};
        const float rates[] = {44100.0f, 96000.0f, 0.0f, 48000.0f};
        char text[32];
        std::size_t step = 0;
        while (processing.load()) {
            const auto index = static_cast<VstInt32>(step % 5);  // 4 is not a parameter
            record->setParameter(record, index, values[step % std::size(values)]);
            (void)record->getParameter(record, index);
            record->dispatcher(record, effGetParamDisplay, index, 0, text, 0.0f);
            if (step % 97 == 0) {
                record->dispatcher(record, effSetSampleRate, 0, 0, nullptr,
                                   rates[(step / 97) % std::size(rates)]);
            }
            ++step;
            changes.store(static_cast<long>(step));
        }
    });

    std::vector<float> in(256), left(256), right(256);
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = std::sin(static_cast<float>(i) * 0.05f);
    }
    float* inputs[] = {in.data(), in.data()};
    float* outputs[] = {left.data(), right.data()};
    bool sane = true;
    // Keep processing until the other thread has made plenty of changes.
    for (int block = 0; block < 400 || (changes.load() < 2000 && block < 200000); ++block) {
        record->processReplacing(record, inputs, outputs, static_cast<VstInt32>(in.size()));
        for (std::size_t i = 0; i < in.size(); ++i) {
            const float bound = std::fabs(in[i]) * drifton::outputGain * 1.0001f;
            sane = sane && std::isfinite(left[i]) && std::isfinite(right[i]) &&
                   std::fabs(left[i]) <= bound && std::fabs(right[i]) <= bound;
        }
    }
    processing.store(false);
    automation.join();

    EXPECT_TRUE(sane) << "output must stay finite and within the pan law's gain";
    EXPECT_GE(changes.load(), 2000);
    for (VstInt32 index = 0; index < 4; ++index) {
        const float value = record->getParameter(record, index);
        EXPECT_GE(value, 0.0f);
        EXPECT_LE(value, 1.0f);
    }
}

}  // namespace
