// The parameter table as every format reads it: the stable symbols hosts
// store sessions by, the plain ranges, defaults, units and labels, and how a
// plain value becomes the engine's field. Expected values are stated here
// independently of the table.
#include "engine/parameter_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using drifton::Field;
using drifton::kParameterTable;
using drifton::Unit;

TEST(ParameterTable, RowsAreTheFourParametersWithTheirStableSymbolsRangesAndUnits) {
    struct Expected {
        const char* symbol;
        const char* name;
        float minimum, maximum, defaultValue;
        Unit unit;
        Field field;
        std::vector<std::string> labels;
    };
    const Expected expected[] = {
        {"period",
         "Period",
         0,
         11,
         3,
         Unit::kNone,
         Field::kPeriodIndex,
         {"1/1", "1/2", "1/3", "1/4", "1/6", "1/8", "1/12", "1/16", "1/24", "1/32", "1/48",
          "1/64"}},
        {"type", "Type", 0, 2, 1, Unit::kNone, Field::kWaveShape, {"Triangle", "Sin", "Square"}},
        {"width", "Width", 0, 100, 75, Unit::kPercent, Field::kWidth, {}},
        {"phase", "PhaseShift", -180, 180, 0, Unit::kDegree, Field::kPhaseShift, {}},
    };
    ASSERT_EQ(std::size(expected), kParameterTable.size());
    for (std::size_t i = 0; i < kParameterTable.size(); ++i) {
        const drifton::ParameterRow& row = kParameterTable[i];
        const Expected& e = expected[i];
        EXPECT_STREQ(e.symbol, row.symbol);
        EXPECT_STREQ(e.name, row.name);
        EXPECT_EQ(e.minimum, row.minimum) << e.symbol;
        EXPECT_EQ(e.maximum, row.maximum) << e.symbol;
        EXPECT_EQ(e.defaultValue, row.defaultValue) << e.symbol;
        EXPECT_EQ(e.unit, row.unit) << e.symbol;
        EXPECT_EQ(e.field, row.field) << e.symbol;
        ASSERT_EQ(e.labels.size(), row.labels.size()) << e.symbol;
        for (std::size_t l = 0; l < e.labels.size(); ++l) {
            EXPECT_EQ(e.labels[l], row.labels[l]) << e.symbol;
        }
    }
}

TEST(ParameterTable, PlainValuesBecomeFieldsClampedAndEnumerationsRounded) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        drifton::ParameterIndex index;
        float plain;
        float field;
    };
    const Case cases[] = {
        {drifton::kPeriod, 3.0f, 3.0f},         {drifton::kPeriod, 2.6f, 3.0f},
        {drifton::kPeriod, 2.4f, 2.0f},         {drifton::kPeriod, -5.0f, 0.0f},
        {drifton::kPeriod, 11.4f, 11.0f},       {drifton::kPeriod, 1e30f, 11.0f},
        {drifton::kPeriod, -inf, 0.0f},         {drifton::kWaveShape, 2.0f, 2.0f},
        {drifton::kWaveShape, 0.49f, 0.0f},     {drifton::kWaveShape, 7.0f, 2.0f},
        {drifton::kWidth, 80.0f, 0.8f},         {drifton::kWidth, 75.0f, 0.75f},
        {drifton::kWidth, 100.0f, 1.0f},        {drifton::kWidth, 250.0f, 1.0f},
        {drifton::kWidth, -1.0f, 0.0f},         {drifton::kWidth, inf, 1.0f},
        {drifton::kPhaseShift, -90.0f, -0.5f},  {drifton::kPhaseShift, 180.0f, 1.0f},
        {drifton::kPhaseShift, -400.0f, -1.0f}, {drifton::kPhaseShift, 45.0f, 0.25f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.field, drifton::fieldFromPlain(kParameterTable[c.index], c.plain))
            << kParameterTable[c.index].symbol << " " << c.plain;
    }
}

TEST(ParameterTable, DefaultsAreTheEnginesInitialSettings) {
    const drifton::PanSettings defaults = drifton::defaultSettings();
    EXPECT_EQ(3, defaults.periodIndex);
    EXPECT_EQ(drifton::kSineShaped, defaults.waveShape);
    EXPECT_EQ(0.75f, defaults.width);
    EXPECT_EQ(0.0f, defaults.phaseShift);
    const drifton::PanSettings initial;
    EXPECT_EQ(initial.periodIndex, defaults.periodIndex);
    EXPECT_EQ(initial.waveShape, defaults.waveShape);
    EXPECT_EQ(initial.width, defaults.width);
    EXPECT_EQ(initial.phaseShift, defaults.phaseShift);
}

TEST(ParameterTable, FieldsReadBackWhatWasSet) {
    for (const drifton::ParameterRow& row : kParameterTable) {
        drifton::PanSettings settings;
        for (const float plain : {row.minimum, row.maximum, row.defaultValue}) {
            const float field = drifton::fieldFromPlain(row, plain);
            drifton::setField(settings, row.field, field);
            EXPECT_EQ(field, drifton::fieldOf(settings, row.field)) << row.symbol;
        }
    }
}

}  // namespace
