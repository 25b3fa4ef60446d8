// The four automatable parameters as plain data that every plug-in format
// reads: a stable symbol (hosts store sessions by it, so it never changes),
// the display name, the plain range and default in the parameter's own unit,
// the labels of an enumeration, and how a plain value becomes the engine's
// field. Each format derives its own view (normalised values, texts, ports)
// from these rows; adding a parameter means adding its PanSettings field and
// one row.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/pan_engine.h"

namespace drifton {

// Note divisions of the sweep: entry N means a half-cycle lasts 1/N of a whole note.
inline constexpr std::array<std::int32_t, 12> PeriodTable = {1,  2,  3,  4,  6,  8,
                                                             12, 16, 24, 32, 48, 64};

// Names of the WaveShape values, in the order of their values.
inline constexpr std::array<const char*, 3> kWaveShapeNames = {"Triangle", "Sin", "Square"};

namespace detail {

struct DivisionText {
    char text[8];
};

// "1/N" for every entry of PeriodTable, built at compile time.
constexpr std::array<DivisionText, PeriodTable.size()> divisionTexts() {
    std::array<DivisionText, PeriodTable.size()> texts{};
    for (std::size_t i = 0; i < PeriodTable.size(); ++i) {
        char digits[4] = {};
        int count = 0;
        for (std::int32_t n = PeriodTable[i]; n > 0; n /= 10) {
            digits[count++] = static_cast<char>('0' + n % 10);
        }
        char* out = texts[i].text;
        *out++ = '1';
        *out++ = '/';
        while (count > 0) {
            *out++ = digits[--count];
        }
        *out = '\0';
    }
    return texts;
}

inline constexpr auto kDivisionTexts = divisionTexts();

constexpr std::array<const char*, PeriodTable.size()> divisionLabels() {
    std::array<const char*, PeriodTable.size()> labels{};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        labels[i] = kDivisionTexts[i].text;
    }
    return labels;
}

}  // namespace detail

// The texts of the periods, "1/1" .. "1/64", in PeriodTable's order.
inline constexpr std::array<const char*, PeriodTable.size()> kDivisionLabels =
    detail::divisionLabels();

enum class Unit { kNone, kPercent, kDegree };

// The engine field a parameter sets.
enum class Field { kPeriodIndex, kWaveShape, kWidth, kPhaseShift };

struct ParameterRow {
    const char* symbol;  // lower case, never to change
    const char* name;
    // Plain values, in `unit`; an enumeration's are the whole numbers
    // minimum..maximum, one per label.
    float minimum;
    float maximum;
    float defaultValue;
    std::span<const char* const> labels;  // empty for a continuous parameter
    Unit unit;
    // A continuous parameter's field is its plain value divided by this (an
    // enumeration's field is its plain value).
    float plainPerField;
    Field field;

    constexpr bool isEnumeration() const { return !labels.empty(); }
};

// Indexed by the parameter's index, which every format uses as its order.
inline constexpr std::array<ParameterRow, 4> kParameterTable = {{
    {"period", "Period", 0.0f, static_cast<float>(PeriodTable.size() - 1), 3.0f, kDivisionLabels,
     Unit::kNone, 1.0f, Field::kPeriodIndex},
    {"type", "Type", 0.0f, static_cast<float>(kWaveShapeNames.size() - 1),
     static_cast<float>(kSineShaped), kWaveShapeNames, Unit::kNone, 1.0f, Field::kWaveShape},
    {"width", "Width", 0.0f, 100.0f, 75.0f, {}, Unit::kPercent, 100.0f, Field::kWidth},
    {"phase", "PhaseShift", -180.0f, 180.0f, 0.0f, {}, Unit::kDegree, 180.0f, Field::kPhaseShift},
}};

// Indices, in table order.
enum ParameterIndex : std::int32_t { kPeriod = 0, kWaveShape = 1, kWidth = 2, kPhaseShift = 3 };
inline constexpr std::int32_t kParameterCount = static_cast<std::int32_t>(kParameterTable.size());

static_assert(kParameterTable[kPeriod].labels.size() == PeriodTable.size());
static_assert(kParameterTable[kWaveShape].labels.size() == kWaveShapeNames.size());

// The row of an index, or null for an index outside the table.
constexpr const ParameterRow* parameterRow(std::int32_t index) {
    return index >= 0 && index < kParameterCount ? &kParameterTable[static_cast<std::size_t>(index)]
                                                 : nullptr;
}

// A field's value in the range the engine accepts, as a float (an
// enumeration's field is a whole number).
constexpr float fieldMinimum(const ParameterRow& row) { return row.minimum / row.plainPerField; }
constexpr float fieldMaximum(const ParameterRow& row) { return row.maximum / row.plainPerField; }

// The field for a finite plain value: clamped into the row's range, an
// enumeration's rounded to the nearest whole number.
inline float fieldFromPlain(const ParameterRow& row, float plain) {
    const float clamped = std::fmin(std::fmax(plain, row.minimum), row.maximum);
    if (row.isEnumeration()) {
        return std::round(clamped);
    }
    return clamped / row.plainPerField;
}

// Reads and writes one field of a settings record.
inline float fieldOf(const PanSettings& settings, Field field) {
    switch (field) {
    case Field::kPeriodIndex:
        return static_cast<float>(settings.periodIndex);
    case Field::kWaveShape:
        return static_cast<float>(settings.waveShape);
    case Field::kWidth:
        return settings.width;
    case Field::kPhaseShift:
        return settings.phaseShift;
    }
    return 0.0f;
}

inline void setField(PanSettings& settings, Field field, float value) {
    switch (field) {
    case Field::kPeriodIndex:
        settings.periodIndex = static_cast<std::int32_t>(value);
        break;
    case Field::kWaveShape:
        settings.waveShape = static_cast<std::int32_t>(value);
        break;
    case Field::kWidth:
        settings.width = value;
        break;
    case Field::kPhaseShift:
        settings.phaseShift = value;
        break;
    }
}

// The settings every parameter's default gives.
inline PanSettings defaultSettings() {
    PanSettings settings;
    for (const ParameterRow& row : kParameterTable) {
        setField(settings, row.field, fieldFromPlain(row, row.defaultValue));
    }
    return settings;
}

}  // namespace drifton
