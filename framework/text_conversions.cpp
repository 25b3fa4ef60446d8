// Value-to-text conversions of AudioEffect. floatToText does the real work;
// the decibel, hertz and millisecond forms compute a value and hand it to the
// virtual floatToText, reading the rate through the virtual getSampleRate, so
// an override of either changes what they show.
#include <cmath>
#include <cstdint>
#include <limits>

#include "framework/audio_effect.h"

namespace {

// Room for the longest composed text ("-2147483648") and its terminator.
using ComposedText = char[16];

constexpr char kHugeText[] = "Huge!";
constexpr char kMinusInfinityText[] = "-oo";
constexpr char kNotANumberText[] = "NaN";

// Characters of a floatToText result: sign, integer digits, point and fraction.
constexpr int kFloatTextBudget = 8;

// The caller's buffer holds maxLen + 1 bytes: the text cut to maxLen
// characters, then zero bytes through position maxLen. A negative maxLen
// leaves no room at all, so nothing is written.
void writeText(char* text, const char* composed, VstInt32 maxLen) {
    if (maxLen < 0) {
        return;
    }
    copyTextWithLimit(text, composed, static_cast<std::size_t>(maxLen));
}

// Narrows to float, giving an infinity for a magnitude beyond the float range
// (a plain conversion of such a double is undefined behaviour).
float toFloat(double value) {
    constexpr auto kLargest = static_cast<double>(std::numeric_limits<float>::max());
    if (value > kLargest) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -kLargest) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

char digitChar(double digit) { return static_cast<char>('0' + static_cast<int>(digit)); }

void copyLiteral(ComposedText& out, const char* literal) {
    std::size_t i = 0;
    for (; literal[i] != '\0'; ++i) {
        out[i] = literal[i];
    }
    out[i] = '\0';
}

// At most 8 characters: an optional minus sign, the integer digits, a point
// and as many fraction digits as fill the budget. Digits are cut, never
// rounded, and come from the exact double value of the float.
void composeFloatText(float value, ComposedText& out) {
    const auto exact = static_cast<double>(value);
    if (std::isnan(exact)) {
        copyLiteral(out, kNotANumberText);
        return;
    }
    const bool negative = exact < 0.0;  // -0.0 is not negative
    const double magnitude = std::fabs(exact);

    // The integer part must fit the budget together with the point (and the
    // sign): seven digits, six for a negative value. Anything larger, the
    // infinities included, gives "Huge!" rather than a text that silently
    // drops its leading digits.
    double whole = std::floor(magnitude);
    if (whole >= (negative ? 1e6 : 1e7)) {
        copyLiteral(out, kHugeText);
        return;
    }

    // Integer digits from the right; the units digit is always written.
    char integerDigits[kFloatTextBudget];
    int integerCount = 0;
    integerDigits[integerCount++] = digitChar(std::fmod(whole, 10.0));
    whole /= 10.0;
    int count = negative ? 3 : 2;  // sign, units digit and point
    while (whole >= 1.0 && count < kFloatTextBudget) {
        integerDigits[integerCount++] = digitChar(std::fmod(whole, 10.0));
        whole /= 10.0;
        ++count;
    }

    std::size_t length = 0;
    if (negative) {
        out[length++] = '-';
    }
    while (integerCount > 0) {
        out[length++] = integerDigits[--integerCount];
    }
    out[length++] = '.';

    // Fraction digits fill the rest of the budget, produced from the right.
    const int fractionCount = kFloatTextBudget - count;
    double fraction = std::fmod(magnitude, 1.0) * std::pow(10.0, fractionCount);
    for (int i = fractionCount - 1; i >= 0; --i) {
        if (fraction <= 0.0) {
            out[length + static_cast<std::size_t>(i)] = '0';
        } else {
            out[length + static_cast<std::size_t>(i)] = digitChar(std::fmod(fraction, 10.0));
            fraction /= 10.0;
        }
    }
    length += static_cast<std::size_t>(fractionCount);
    out[length] = '\0';
}

// Decimal digits without leading zeros. Positive values stop at 99999999;
// negative values are written in full, down to the most negative 32-bit
// value, whose magnitude is taken in a wider type.
void composeIntText(VstInt32 value, ComposedText& out) {
    if (value >= 100000000) {
        copyLiteral(out, kHugeText);
        return;
    }
    std::size_t length = 0;
    std::int64_t rest = value;
    if (rest < 0) {
        out[length++] = '-';
        rest = -rest;
    }
    bool started = false;
    for (std::int64_t divisor = 1000000000; divisor >= 1; divisor /= 10) {
        const std::int64_t digit = rest / divisor;
        rest %= divisor;
        if (started || digit > 0 || divisor == 1) {
            out[length++] = static_cast<char>('0' + digit);
            started = true;
        }
    }
    out[length] = '\0';
}

}  // namespace

void AudioEffect::decibelsToText(float value, char* text, VstInt32 maxLen) {
    if (value <= 0.0f) {
        writeText(text, kMinusInfinityText, maxLen);
        return;
    }
    floatToText(toFloat(20.0 * std::log10(static_cast<double>(value))), text, maxLen);
}

void AudioEffect::hertzToText(float samples, char* text, VstInt32 maxLen) {
    const float rate = getSampleRate();
    floatToText(samples == 0.0f ? 0.0f : rate / samples, text, maxLen);
}

// No guard against a zero rate: the quotient is then infinite and shows "Huge!".
void AudioEffect::millisecondsToText(float samples, char* text, VstInt32 maxLen) {
    const double rate = static_cast<double>(getSampleRate());
    floatToText(toFloat(static_cast<double>(samples) * 1000.0 / rate), text, maxLen);
}

void AudioEffect::floatToText(float value, char* text, VstInt32 maxLen) {
    ComposedText composed;
    composeFloatText(value, composed);
    writeText(text, composed, maxLen);
}

void AudioEffect::intToText(VstInt32 value, char* text, VstInt32 maxLen) {
    ComposedText composed;
    composeIntText(value, composed);
    writeText(text, composed, maxLen);
}
