// The four automatable parameters in one table: each row says how a host
// value (0..1) becomes the field, how the field reads back, the field's
// initial value, and the name, label and display text a host shows. Setting,
// reading back, defaults, names, labels and displays are all driven from it;
// adding a parameter means adding its field and one row. No host types.
#pragma once

#include <array>
#include <atomic>
#include <charconv>
#include <cstddef>
#include <cstdint>

#include "engine/pan_oscillator.h"

namespace drifton {

// Note divisions of the sweep: entry N means a half-cycle lasts 1/N of a whole note.
inline constexpr std::array<std::int32_t, 12> PeriodTable = {1,  2,  3,  4,  6,  8,
                                                             12, 16, 24, 32, 48, 64};

// Display names of the WaveShape values (the parameter "Type", the field `waveShape`).
inline constexpr std::array<const char*, 3> kWaveShapeNames = {"Triangle", "Sin", "Square"};

// The parameter fields. Written by the host on any thread and read by
// processing once per block: atomic 32-bit values, relaxed.
struct ParameterFields {
    std::atomic<std::int32_t> periodIndex{0};  // 0..11, into PeriodTable
    std::atomic<std::int32_t> waveShape{0};    // WaveShape
    std::atomic<float> width{0.0f};            // 0..1
    std::atomic<float> phaseShift{0.0f};       // -1..1 half-cycles
};

static_assert(std::atomic<std::int32_t>::is_always_lock_free &&
              sizeof(std::atomic<std::int32_t>) == sizeof(std::int32_t));
static_assert(std::atomic<float>::is_always_lock_free &&
              sizeof(std::atomic<float>) == sizeof(float));

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

struct ParameterRow {
    const char* name;
    std::size_t nameLimit;  // characters written for the name
    const char* label;      // written with kLabelLimit
    std::size_t displayLimit;
    // The host value whose stored field is the initial one.
    float defaultValue;
    // Host value (finite, clamped to 0..1) to field.
    void (*store)(ParameterFields& fields, float x);
    // Field to host value.
    float (*read)(const ParameterFields& fields);
    // The display text; false leaves the host's buffer untouched.
    bool (*display)(const ParameterFields& fields, DisplayText& text);
};

inline constexpr std::size_t kLabelLimit = 8;
inline constexpr float kLastPeriodIndex = 11.0f;
// The degree sign as the two raw bytes hosts of this plug-in expect.
inline constexpr const char* kDegreeSign = "\x81\x8B";

// Indexed by the parameter's host index. All arithmetic in float; a
// conversion to integer truncates toward zero.
inline constexpr std::array<ParameterRow, 4> kParameterTable = {{
    {"Period", 8, "", 8, 3.0f / 11.0f,
     [](ParameterFields& f, float x) {
         f.periodIndex.store(static_cast<std::int32_t>(x * kLastPeriodIndex),
                             std::memory_order_relaxed);
     },
     [](const ParameterFields& f) {
         return static_cast<float>(f.periodIndex.load(std::memory_order_relaxed)) /
                kLastPeriodIndex;
     },
     [](const ParameterFields& f, DisplayText& text) {
         const auto entry = static_cast<std::size_t>(f.periodIndex.load(std::memory_order_relaxed));
         text.append("1/").appendDecimal(PeriodTable[entry]);
         return true;
     }},
    {"Type", 8, "", 8, 0.5f,
     [](ParameterFields& f, float x) {
         f.waveShape.store(static_cast<std::int32_t>(x + x), std::memory_order_relaxed);
     },
     [](const ParameterFields& f) {
         return static_cast<float>(f.waveShape.load(std::memory_order_relaxed)) * 0.5f;
     },
     [](const ParameterFields& f, DisplayText& text) {
         const std::int32_t shape = f.waveShape.load(std::memory_order_relaxed);
         if (shape < 0 || shape >= static_cast<std::int32_t>(kWaveShapeNames.size())) {
             return false;
         }
         text.append(kWaveShapeNames[static_cast<std::size_t>(shape)]);
         return true;
     }},
    {"Width", 8, "%", 16, 0.75f,
     [](ParameterFields& f, float x) { f.width.store(x, std::memory_order_relaxed); },
     [](const ParameterFields& f) { return f.width.load(std::memory_order_relaxed); },
     [](const ParameterFields& f, DisplayText& text) {
         text.appendDecimal(
             static_cast<std::int32_t>(f.width.load(std::memory_order_relaxed) * 100.0f));
         return true;
     }},
    {"PhaseShift", 16, "", 16, 0.5f,
     [](ParameterFields& f, float x) {
         const float centred = x - 0.5f;
         f.phaseShift.store(centred + centred, std::memory_order_relaxed);
     },
     [](const ParameterFields& f) {
         return (f.phaseShift.load(std::memory_order_relaxed) + 1.0f) * 0.5f;
     },
     [](const ParameterFields& f, DisplayText& text) {
         text.appendDecimal(
                 static_cast<std::int32_t>(f.phaseShift.load(std::memory_order_relaxed) * 180.0f))
             .append(kDegreeSign);
         return true;
     }},
}};

// Host indices, in table order.
enum ParameterIndex : std::int32_t { kPeriod = 0, kWaveShape = 1, kWidth = 2, kPhaseShift = 3 };
inline constexpr std::int32_t kParameterCount = static_cast<std::int32_t>(kParameterTable.size());

// The row of a host index, or null for an index outside the table.
constexpr const ParameterRow* parameterRow(std::int32_t index) {
    return index >= 0 && index < kParameterCount ? &kParameterTable[static_cast<std::size_t>(index)]
                                                 : nullptr;
}

}  // namespace drifton
