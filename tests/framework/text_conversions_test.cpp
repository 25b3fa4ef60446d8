#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "conversion_test_effect.h"

namespace {

constexpr char kSentinel = static_cast<char>(0xA5);
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

// Every case runs with these lengths: nothing, cut (123.456 at 4 gives "123.",
// 12345 at 3 gives "123"), exact and padded.
constexpr VstInt32 kMaxLens[] = {0, 1, 3, 4, 8, 12};

// Runs one conversion on a buffer of maxLen + 2 sentinel bytes and checks the
// buffer rule: the text cut to maxLen characters, zero bytes through position
// maxLen, and the byte after that untouched.
template <typename Convert>
testing::AssertionResult writesText(Convert convert, VstInt32 maxLen, std::string_view text) {
    const auto limit = static_cast<std::size_t>(maxLen);
    std::vector<char> buffer(limit + 2, kSentinel);
    convert(buffer.data(), maxLen);

    const std::string_view expected = text.substr(0, limit);
    const auto shown = [&] {
        std::string bytes;
        for (char c : buffer) {
            bytes += c == '\0'        ? std::string("\\0")
                     : c == kSentinel ? std::string("#")
                                      : std::string(1, c);
        }
        return bytes;
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (buffer[i] != expected[i]) {
            return testing::AssertionFailure()
                   << "expected \"" << expected << "\", buffer holds " << shown();
        }
    }
    for (std::size_t i = expected.size(); i <= limit; ++i) {
        if (buffer[i] != '\0') {
            return testing::AssertionFailure()
                   << "byte " << i << " is not zero; buffer holds " << shown();
        }
    }
    if (buffer[limit + 1] != kSentinel) {
        return testing::AssertionFailure()
               << "wrote past position maxLen; buffer holds " << shown();
    }
    return testing::AssertionSuccess();
}

template <typename Value>
struct Case {
    Value value;
    std::string_view text;
};

class TextConversionTest : public testing::Test {
protected:
    using FloatConversion = void (AudioEffect::*)(float, char*, VstInt32);

    // Each case at every length of kMaxLens, through the effect's own table.
    void checkCases(FloatConversion conversion, const std::vector<Case<float>>& cases) {
        for (const auto& c : cases) {
            for (VstInt32 maxLen : kMaxLens) {
                SCOPED_TRACE(testing::Message() << "value " << testing::PrintToString(c.value)
                                                << ", maxLen " << maxLen);
                EXPECT_TRUE(writesText(
                    [&](char* text, VstInt32 n) { (effect.*conversion)(c.value, text, n); }, maxLen,
                    c.text));
            }
        }
    }

    void checkCases(const std::vector<Case<VstInt32>>& cases) {
        for (const auto& c : cases) {
            for (VstInt32 maxLen : kMaxLens) {
                SCOPED_TRACE(testing::Message() << "value " << c.value << ", maxLen " << maxLen);
                EXPECT_TRUE(
                    writesText([&](char* text, VstInt32 n) { effect.intToText(c.value, text, n); },
                               maxLen, c.text));
            }
        }
    }

    ConversionTestEffect effect;
};

TEST_F(TextConversionTest, FloatToTextCutsDigitsOfTheExactValue) {
    checkCases(&AudioEffect::floatToText, {
                                              {0.0f, "0.000000"},
                                              {1.5f, "1.500000"},
                                              {-1.5f, "-1.50000"},
                                              {123.456f, "123.4560"},
                                              {-123.456f, "-123.456"},
                                              {441.0f, "441.0000"},
                                              {0.7f, "0.699999"},
                                              {99.99f, "99.98999"},
                                              {0.001f, "0.001000"},
                                              {0.1f, "0.100000"},
                                              {3.14159265f, "3.141592"},
                                              {-0.0025f, "-0.00249"},
                                              {10.0f, "10.00000"},
                                              {100.0f, "100.0000"},
                                              {65535.99f, "65535.98"},
                                              {1e-45f, "0.000000"},
                                              {-0.0f, "0.000000"},
                                              {-0.000000001f, "-0.00000"},
                                          });
}

TEST_F(TextConversionTest, FloatToTextFillsTheBudgetWithIntegerDigits) {
    checkCases(&AudioEffect::floatToText, {
                                              {1234567.0f, "1234567."},
                                              {1000000.0f, "1000000."},
                                              {9999999.0f, "9999999."},
                                              {-999999.0f, "-999999."},
                                              {-100000.5f, "-100000."},
                                          });
}

// Integer parts too long for the 8-character budget show "Huge!" instead of
// losing their leading digits; so do the infinities. NaN shows as such.
TEST_F(TextConversionTest, FloatToTextOutOfRange) {
    checkCases(&AudioEffect::floatToText, {
                                              {100000000.0f, "Huge!"},
                                              {-10000000.0f, "Huge!"},
                                              {10000000.0f, "Huge!"},
                                              {12345678.0f, "Huge!"},
                                              {-1000000.0f, "Huge!"},
                                              {-9999999.0f, "Huge!"},
                                              {std::numeric_limits<float>::max(), "Huge!"},
                                              {kInfinity, "Huge!"},
                                              {-kInfinity, "Huge!"},
                                              {kNaN, "NaN"},
                                              {-kNaN, "NaN"},
                                          });
}

TEST_F(TextConversionTest, DecibelsToText) {
    checkCases(&AudioEffect::decibelsToText, {
                                                 {1.0f, "0.000000"},
                                                 {0.5f, "-6.02059"},
                                                 {2.0f, "6.020599"},
                                                 {10.0f, "20.00000"},
                                                 {0.001f, "-60.0000"},
                                                 {1e-5f, "-100.000"},
                                                 {1e-45f, "-897.069"},
                                                 {std::numeric_limits<float>::max(), "770.6367"},
                                                 {0.0f, "-oo"},
                                                 {-0.0f, "-oo"},
                                                 {-1.0f, "-oo"},
                                                 {-kInfinity, "-oo"},
                                                 {kInfinity, "Huge!"},
                                                 {kNaN, "NaN"},
                                             });
}

TEST_F(TextConversionTest, HertzToTextAtTheDefaultRate) {
    ASSERT_EQ(effect.getSampleRate(), 44100.0f);
    checkCases(&AudioEffect::hertzToText, {
                                              {100.0f, "441.0000"},
                                              {0.0f, "0.000000"},
                                              {-0.0f, "0.000000"},
                                              {44100.0f, "1.000000"},
                                              {1.0f, "44100.00"},
                                              {0.5f, "88200.00"},
                                              {-100.0f, "-441.000"},
                                              {1e-30f, "Huge!"},
                                              {kInfinity, "0.000000"},
                                              {kNaN, "NaN"},
                                          });
}

TEST_F(TextConversionTest, MillisecondsToTextAtTheDefaultRate) {
    checkCases(&AudioEffect::millisecondsToText,
               {
                   {44100.0f, "1000.000"},
                   {441.0f, "10.00000"},
                   {1.0f, "0.022675"},
                   {0.0f, "0.000000"},
                   {-44100.0f, "-1000.00"},
                   {1e9f, "Huge!"},  // 22675736 ms: eight integer digits
                   {std::numeric_limits<float>::max(), "Huge!"},  // beyond the float range
                   {kInfinity, "Huge!"},
                   {kNaN, "NaN"},
               });
}

TEST_F(TextConversionTest, ConversionsFollowTheSampleRate) {
    effect.setSampleRate(48000.0f);
    checkCases(&AudioEffect::hertzToText, {{100.0f, "480.0000"}});
    checkCases(&AudioEffect::millisecondsToText, {{48000.0f, "1000.000"}, {48.0f, "1.000000"}});
}

// No guard against a zero rate: every non-zero duration is infinite.
TEST_F(TextConversionTest, MillisecondsToTextAtRateZero) {
    effect.setSampleRate(0.0f);
    checkCases(&AudioEffect::millisecondsToText, {
                                                     {1.0f, "Huge!"},
                                                     {44100.0f, "Huge!"},
                                                     {1e-45f, "Huge!"},
                                                     {-1.0f, "Huge!"},
                                                     {0.0f, "NaN"},
                                                 });
}

TEST_F(TextConversionTest, IntToText) {
    checkCases({
        {0, "0"},
        {5, "5"},
        {-7, "-7"},
        {10, "10"},
        {12345, "12345"},
        {1000000, "1000000"},
        {10203040, "10203040"},
        {99999999, "99999999"},
        {100000000, "Huge!"},
        {INT32_MAX, "Huge!"},
        {-100000000, "-100000000"},
        {-123456789, "-123456789"},
        {-999999999, "-999999999"},
        // Below nine digits negative values are still written in full.
        {-1000000000, "-1000000000"},
        {INT32_MIN, "-2147483648"},
    });
}

// A negative length leaves no room in the buffer, so nothing is written.
TEST_F(TextConversionTest, NegativeMaxLenWritesNothing) {
    for (VstInt32 maxLen : {-1, -2, INT32_MIN}) {
        SCOPED_TRACE(maxLen);
        std::vector<char> buffer(16, kSentinel);
        effect.decibelsToText(0.0f, buffer.data(), maxLen);
        effect.decibelsToText(0.5f, buffer.data(), maxLen);
        effect.hertzToText(100.0f, buffer.data(), maxLen);
        effect.millisecondsToText(44100.0f, buffer.data(), maxLen);
        effect.floatToText(1.5f, buffer.data(), maxLen);
        effect.intToText(42, buffer.data(), maxLen);
        EXPECT_EQ(buffer, std::vector<char>(16, kSentinel));
    }
}

// Overrides of getSampleRate and floatToText reach the three derived conversions.
class OverridingEffect : public ConversionTestEffect {
public:
    float getSampleRate() override {
        ++rateCalls;
        return rate;
    }
    void floatToText(float value, char* text, VstInt32 maxLen) override {
        rendered.push_back(value);
        copyTextWithLimit(text, "over", static_cast<std::size_t>(maxLen));
    }

    float rate = 1000.0f;
    int rateCalls = 0;
    std::vector<float> rendered;
};

TEST(TextConversionOverrideTest, DerivedConversionsCallTheVirtualOperations) {
    OverridingEffect effect;
    const auto writesOver = [](auto convert) { return writesText(convert, 6, "over"); };

    EXPECT_TRUE(writesOver([&](char* t, VstInt32 n) { effect.hertzToText(10.0f, t, n); }));
    EXPECT_TRUE(writesOver([&](char* t, VstInt32 n) { effect.hertzToText(0.0f, t, n); }));
    EXPECT_TRUE(writesOver([&](char* t, VstInt32 n) { effect.millisecondsToText(250.0f, t, n); }));
    EXPECT_TRUE(writesOver([&](char* t, VstInt32 n) { effect.decibelsToText(0.5f, t, n); }));
    EXPECT_EQ(effect.rateCalls, 3);
    const std::vector<float> expected = {100.0f, 0.0f, 250.0f,
                                         static_cast<float>(20.0 * std::log10(0.5))};
    EXPECT_EQ(effect.rendered, expected);

    // "-oo" is written directly, not rendered from a number.
    EXPECT_TRUE(
        writesText([&](char* t, VstInt32 n) { effect.decibelsToText(0.0f, t, n); }, 6, "-oo"));
    EXPECT_EQ(effect.rendered.size(), 4U);
}

TEST(TextConversionOverrideTest, OverriddenRateReachesTheRealFloatToText) {
    class RateOnlyEffect : public ConversionTestEffect {
    public:
        float getSampleRate() override { return 96000.0f; }
    } effect;
    EXPECT_TRUE(
        writesText([&](char* t, VstInt32 n) { effect.hertzToText(1000.0f, t, n); }, 8, "96.00000"));
    EXPECT_TRUE(writesText([&](char* t, VstInt32 n) { effect.millisecondsToText(96.0f, t, n); }, 8,
                           "1.000000"));
}

}  // namespace
