// The VST edition's view of the engine's parameter table: normalised host
// values (0..1), read-backs, labels, display texts and their limits, all
// derived from the rows. All arithmetic in float; a conversion to integer
// truncates toward zero, as hosts of this plug-in have always seen.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/parameter_table.h"

namespace drifton::vst {

// The interface's nominal text limit; longer names and the numeric displays
// are written with the wider limit hosts of this plug-in provide for.
inline constexpr std::size_t kTextLimit = 8;
inline constexpr std::size_t kWideTextLimit = 16;
// The degree sign as the two raw bytes hosts of this plug-in expect.
inline constexpr const char* kDegreeSign = "\x81\x8B";

// The characters written for a parameter's name.
inline std::size_t nameLimit(const ParameterRow& row) {
    return std::strlen(row.name) <= kTextLimit ? kTextLimit : kWideTextLimit;
}

// The characters written for a display: an enumeration's label fits the
// nominal limit, a number with its unit gets the wide one.
constexpr std::size_t displayLimit(const ParameterRow& row) {
    return row.isEnumeration() ? kTextLimit : kWideTextLimit;
}

// The unit label beside the display: "%" for percentages; the degree sign is
// part of the display instead.
constexpr const char* label(const ParameterRow& row) {
    return row.unit == Unit::kPercent ? "%" : "";
}

// An enumeration steps through its whole numbers as the host value goes from
// 0 to 1; a continuous field moves linearly from its minimum to its maximum.
constexpr float span(const ParameterRow& row) {
    return row.isEnumeration() ? row.maximum - row.minimum : fieldMaximum(row) - fieldMinimum(row);
}

// Host value x (finite, within 0..1) to field. The continuous form subtracts
// the host value of field 0 first, so -0 stays -0 and a centred range is
// (x - 0.5) * 2 exactly.
inline float fieldFromHostValue(const ParameterRow& row, float x) {
    if (row.isEnumeration()) {
        return static_cast<float>(static_cast<std::int32_t>(x * span(row))) + row.minimum;
    }
    const float zeroAt = -fieldMinimum(row) / span(row);
    return (x - zeroAt) * span(row);
}

// Field to host value.
inline float hostValueOfField(const ParameterRow& row, float field) {
    if (row.isEnumeration()) {
        return (field - row.minimum) / span(row);
    }
    return (field - fieldMinimum(row)) / span(row);
}

// The host value whose field is the row's default.
inline float defaultHostValue(const ParameterRow& row) {
    return hostValueOfField(row, fieldFromPlain(row, row.defaultValue));
}

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

// The display of a field: an enumeration's label, or the plain value
// truncated to a whole number (followed by the degree sign for degrees).
// False, leaving the text empty, for a field with no label.
inline bool display(const ParameterRow& row, float field, DisplayText& text) {
    if (row.isEnumeration()) {
        const auto entry = static_cast<std::int32_t>(field - row.minimum);
        if (entry < 0 || entry >= static_cast<std::int32_t>(row.labels.size())) {
            return false;
        }
        text.append(row.labels[static_cast<std::size_t>(entry)]);
        return true;
    }
    text.appendDecimal(static_cast<std::int32_t>(field * row.plainPerField));
    if (row.unit == Unit::kDegree) {
        text.append(kDegreeSign);
    }
    return true;
}

}  // namespace drifton::vst
