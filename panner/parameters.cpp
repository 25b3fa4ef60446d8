// The four automatable parameters: mapping of host values, read-back, and
// the names, labels and display texts a host shows.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>

#include "framework/text_copy.h"
#include "panner/drifton_vst.h"

namespace {

struct ParameterTexts {
    const char* name;
    std::size_t nameLimit;
    const char* label;
    std::size_t displayLimit;
};

// Indexed by DriftonVST::Parameter. Labels are always written with limit 8.
constexpr std::array<ParameterTexts, DriftonVST::kNumParams> kParameterTexts = {{
    {"Period", 8, "", 8},
    {"Type", 8, "", 8},
    {"Width", 8, "%", 16},
    {"PhaseShift", 16, "", 16},
}};
constexpr std::size_t kLabelLimit = 8;

constexpr std::array<const char*, 3> kShapeNames = {"Triangle", "Sin", "Square"};
// The degree sign as the two raw bytes hosts of this plug-in expect.
constexpr const char* kDegreeSign = "\x81\x8B";

constexpr float kLastPeriodIndex = 11.0f;

bool isParameter(VstInt32 index) { return index >= 0 && index < DriftonVST::kNumParams; }

// A short display text built in place: no allocation, nothing thrown.
class DisplayText {
public:
    DisplayText& append(const char* text) {
        while (*text != '\0' && length_ + 1 < buffer_.size()) {
            buffer_[length_++] = *text++;
        }
        buffer_[length_] = '\0';
        return *this;
    }
    DisplayText& appendDecimal(std::int32_t value) {
        const auto result =
            std::to_chars(buffer_.data() + length_, buffer_.data() + buffer_.size() - 1, value);
        length_ = static_cast<std::size_t>(result.ptr - buffer_.data());
        buffer_[length_] = '\0';
        return *this;
    }
    const char* c_str() const { return buffer_.data(); }

private:
    std::array<char, 32> buffer_{};
    std::size_t length_ = 0;
};

}  // namespace

void DriftonVST::setParameter(VstInt32 index, float value) {
    if (!std::isfinite(value)) {
        return;
    }
    const float x = std::clamp(value, 0.0f, 1.0f);
    switch (index) {
    case kPeriod:
        periodIndex.store(static_cast<std::int32_t>(x * kLastPeriodIndex),
                          std::memory_order_relaxed);
        break;
    case kType:
        waveShape.store(static_cast<std::int32_t>(x + x), std::memory_order_relaxed);
        break;
    case kWidth:
        width.store(x, std::memory_order_relaxed);
        break;
    case kPhaseShift: {
        const float centred = x - 0.5f;
        phaseShift.store(centred + centred, std::memory_order_relaxed);
        break;
    }
    default:
        break;
    }
}

float DriftonVST::getParameter(VstInt32 index) {
    switch (index) {
    case kPeriod:
        return static_cast<float>(periodIndex.load(std::memory_order_relaxed)) / kLastPeriodIndex;
    case kType:
        return static_cast<float>(waveShape.load(std::memory_order_relaxed)) * 0.5f;
    case kWidth:
        return width.load(std::memory_order_relaxed);
    case kPhaseShift:
        return (phaseShift.load(std::memory_order_relaxed) + 1.0f) * 0.5f;
    default:
        return 0.0f;
    }
}

void DriftonVST::getParameterName(VstInt32 index, char* text) {
    if (!isParameter(index)) {
        return;
    }
    const ParameterTexts& texts = kParameterTexts[static_cast<std::size_t>(index)];
    copyTextWithLimit(text, texts.name, texts.nameLimit);
}

void DriftonVST::getParameterLabel(VstInt32 index, char* label) {
    const char* text =
        isParameter(index) ? kParameterTexts[static_cast<std::size_t>(index)].label : "";
    copyTextWithLimit(label, text, kLabelLimit);
}

void DriftonVST::getParameterDisplay(VstInt32 index, char* text) {
    DisplayText display;
    switch (index) {
    case kPeriod: {
        const auto entry = static_cast<std::size_t>(periodIndex.load(std::memory_order_relaxed));
        display.append("1/").appendDecimal(PeriodTable[entry]);
        break;
    }
    case kType: {
        const std::int32_t shape = waveShape.load(std::memory_order_relaxed);
        if (shape < 0 || shape >= static_cast<std::int32_t>(kShapeNames.size())) {
            return;
        }
        display.append(kShapeNames[static_cast<std::size_t>(shape)]);
        break;
    }
    case kWidth:
        display.appendDecimal(
            static_cast<std::int32_t>(width.load(std::memory_order_relaxed) * 100.0f));
        break;
    case kPhaseShift:
        display
            .appendDecimal(
                static_cast<std::int32_t>(phaseShift.load(std::memory_order_relaxed) * 180.0f))
            .append(kDegreeSign);
        break;
    default:
        return;
    }
    copyTextWithLimit(text, display.c_str(),
                      kParameterTexts[static_cast<std::size_t>(index)].displayLimit);
}
