// The four parameters through the plug-in file: mapping of host values and
// read-back, and the exact bytes of names, labels and display texts written
// into the host's buffers.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "tests/plugin_fixture.h"

namespace {

constexpr unsigned char kSentinel = 0xA5;
const std::string kDegree = "\x81\x8B";

using Buffer = std::array<unsigned char, 40>;

class PluginParameters : public PluginFixture {
protected:
    void SetUp() override {
        PluginFixture::SetUp();
        instance = createInstance();
    }

    Buffer textCall(VstInt32 opcode, VstInt32 index) {
        Buffer buffer;
        buffer.fill(kSentinel);
        instance->dispatch(opcode, index, 0, buffer.data());
        return buffer;
    }

    // `text` then zero bytes through position `limit`, and the byte after untouched.
    static void expectText(const Buffer& buffer, const std::string& text, std::size_t limit,
                           const std::string& what) {
        ASSERT_LE(text.size(), limit) << what;
        for (std::size_t i = 0; i < text.size(); ++i) {
            EXPECT_EQ(static_cast<unsigned char>(text[i]), buffer[i]) << what << " byte " << i;
        }
        for (std::size_t i = text.size(); i <= limit; ++i) {
            EXPECT_EQ(0, buffer[i]) << what << " byte " << i;
        }
        for (std::size_t i = limit + 1; i < buffer.size(); ++i) {
            EXPECT_EQ(kSentinel, buffer[i]) << what << " byte " << i << " is beyond the limit";
        }
    }

    static void expectUntouched(const Buffer& buffer, const std::string& what) {
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            EXPECT_EQ(kSentinel, buffer[i]) << what << " byte " << i;
        }
    }

    void expectDisplay(VstInt32 index, const std::string& text) {
        const std::size_t limit = index < 2 ? 8 : 16;
        expectText(textCall(effGetParamDisplay, index), text, limit,
                   "display " + std::to_string(index));
    }

    std::unique_ptr<vsthost::Instance> instance;
};

TEST_F(PluginParameters, InitialValuesReadBackAndDisplay) {
    EXPECT_EQ(3.0f / 11.0f, instance->getParameter(0));
    EXPECT_EQ(0.5f, instance->getParameter(1));
    EXPECT_EQ(0.75f, instance->getParameter(2));
    EXPECT_EQ(0.5f, instance->getParameter(3));
    expectDisplay(0, "1/4");
    expectDisplay(1, "Sin");
    expectDisplay(2, "75");
    expectDisplay(3, "0" + kDegree);
}

TEST_F(PluginParameters, NamesAndLabelsAreWrittenWithTheirLimits) {
    expectText(textCall(effGetParamName, 0), "Period", 8, "name 0");
    expectText(textCall(effGetParamName, 1), "Type", 8, "name 1");
    expectText(textCall(effGetParamName, 2), "Width", 8, "name 2");
    expectText(textCall(effGetParamName, 3), "PhaseShift", 16, "name 3");
    for (const VstInt32 index : {4, 7, -1}) {
        expectUntouched(textCall(effGetParamName, index), "name " + std::to_string(index));
    }
    expectText(textCall(effGetParamLabel, 2), "%", 8, "label 2");
    for (const VstInt32 index : {0, 1, 3, 4, 7, -1, 1000}) {
        expectText(textCall(effGetParamLabel, index), "", 8, "label " + std::to_string(index));
    }
}

TEST_F(PluginParameters, PeriodSelectsEveryDivisionAndReadsBackExactly) {
    const int divisions[12] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64};
    for (int k = 0; k < 12; ++k) {
        instance->setParameter(0, static_cast<float>(k) / 11.0f);
        const float reported = instance->getParameter(0);
        EXPECT_EQ(static_cast<float>(k) / 11.0f, reported) << k;
        expectDisplay(0, "1/" + std::to_string(divisions[k]));
        instance->setParameter(0, reported);  // writing back selects the same entry
        EXPECT_EQ(reported, instance->getParameter(0)) << k;
    }
    instance->setParameter(0, 1.0f);
    EXPECT_EQ(1.0f, instance->getParameter(0));
    expectDisplay(0, "1/64");
    instance->setParameter(0, 0.9999f);
    expectDisplay(0, "1/48");  // only 1.0 itself reaches 1/64
    instance->setParameter(0, 0.0909f);
    expectDisplay(0, "1/1");
    instance->setParameter(0, 0.0f);
    expectDisplay(0, "1/1");
}

TEST_F(PluginParameters, TypeSplitsTheRangeAndOnlyOneIsSquare) {
    const std::pair<float, std::string> cases[] = {
        {0.0f, "Triangle"}, {0.499f, "Triangle"}, {0.5f, "Sin"}, {0.999f, "Sin"}, {1.0f, "Square"}};
    for (const auto& [value, text] : cases) {
        instance->setParameter(1, value);
        expectDisplay(1, text);
    }
    EXPECT_EQ(1.0f, instance->getParameter(1));
    instance->setParameter(1, 0.3f);
    EXPECT_EQ(0.0f, instance->getParameter(1));
}

TEST_F(PluginParameters, WidthIsStoredAsGivenAndShownTruncated) {
    instance->setParameter(2, 0.333f);
    EXPECT_EQ(0.333f, instance->getParameter(2));
    expectDisplay(2, "33");
    instance->setParameter(2, 0.999f);
    expectDisplay(2, "99");
    instance->setParameter(2, 1.0f);
    expectDisplay(2, "100");
    instance->setParameter(2, 0.0f);
    expectDisplay(2, "0");
}

TEST_F(PluginParameters, PhaseShiftShowsDegreesWithTheRawDegreeBytes) {
    instance->setParameter(3, 0.25f);
    EXPECT_EQ(0.25f, instance->getParameter(3));
    expectDisplay(3, "-90" + kDegree);
    instance->setParameter(3, 0.0f);
    EXPECT_EQ(0.0f, instance->getParameter(3));
    expectDisplay(3, "-180" + kDegree);
    instance->setParameter(3, 1.0f);
    EXPECT_EQ(1.0f, instance->getParameter(3));
    expectDisplay(3, "180" + kDegree);
    instance->setParameter(3, 0.2501f);  // -89.96 degrees, truncated toward zero
    expectDisplay(3, "-89" + kDegree);
}

TEST_F(PluginParameters, OutOfRangeHostValuesAreClamped) {
    struct Case {
        VstInt32 index;
        float value;
        float readBack;
        std::string display;
    };
    const Case cases[] = {
        {0, 1.5f, 1.0f, "1/64"},
        {0, -0.5f, 0.0f, "1/1"},
        {0, 1e30f, 1.0f, "1/64"},
        {1, 7.0f, 1.0f, "Square"},
        {1, -1.0f, 0.0f, "Triangle"},
        {2, 1.25f, 1.0f, "100"},
        {2, -0.25f, 0.0f, "0"},
        {3, 2.0f, 1.0f, "180" + kDegree},
        {3, -3.0f, 0.0f, "-180" + kDegree},
    };
    for (const Case& c : cases) {
        instance->setParameter(c.index, c.value);
        EXPECT_EQ(c.readBack, instance->getParameter(c.index)) << c.index << " " << c.value;
        expectDisplay(c.index, c.display);
    }
}

TEST_F(PluginParameters, NonFiniteHostValuesChangeNothing) {
    const float chosen[4] = {5.0f / 11.0f, 0.0f, 0.333f, 0.25f};
    for (VstInt32 index = 0; index < 4; ++index) {
        instance->setParameter(index, chosen[index]);
    }
    const float inf = std::numeric_limits<float>::infinity();
    for (VstInt32 index = 0; index < 4; ++index) {
        for (const float value : {std::nanf(""), -std::nanf(""), inf, -inf}) {
            instance->setParameter(index, value);
            EXPECT_EQ(chosen[index], instance->getParameter(index)) << index << " " << value;
        }
    }
    expectDisplay(0, "1/8");
    expectDisplay(1, "Triangle");
    expectDisplay(2, "33");
    expectDisplay(3, "-90" + kDegree);
}

TEST_F(PluginParameters, IndicesOutsideTheFourAreIgnored) {
    for (const VstInt32 index : {4, -1, 1000}) {
        instance->setParameter(index, 0.0f);
        EXPECT_EQ(0.0f, instance->getParameter(index)) << index;
        expectUntouched(textCall(effGetParamDisplay, index), "display " + std::to_string(index));
    }
    EXPECT_EQ(3.0f / 11.0f, instance->getParameter(0));
    EXPECT_EQ(0.5f, instance->getParameter(1));
    EXPECT_EQ(0.75f, instance->getParameter(2));
    EXPECT_EQ(0.5f, instance->getParameter(3));
}

}  // namespace
