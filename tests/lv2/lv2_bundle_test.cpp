// The bundle's Turtle is written by hand: here it is held to the engine's
// parameter table, the plug-in's URI and port numbering, and the project's
// version, as liblilv reads it; and the binary to its one export.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "drifton_lv2/drifton_lv2.h"
#include "drifton_version.h"
#include "engine/parameter_table.h"
#include "host/lv2_host.h"
#include "tests/elf_symbols.h"

namespace {

constexpr const char* kLv2 = "http://lv2plug.in/ns/lv2core#";
constexpr const char* kUnits = "http://lv2plug.in/ns/extensions/units#";

std::string lv2(const char* name) { return std::string(kLv2) + name; }

class Lv2Bundle : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        plugin = lv2host::Plugin::load(DRIFTON_LV2_BUNDLE, "", &error);
        ASSERT_NE(nullptr, plugin) << error;
    }
    std::unique_ptr<lv2host::Plugin> plugin;
};

TEST_F(Lv2Bundle, NamesThePluginByTheUriTheBinaryAndCMakeUse) {
    EXPECT_EQ(drifton::lv2::kPluginUri, plugin->uri());
    EXPECT_STREQ(DRIFTON_LV2_URI_IN_CMAKE, drifton::lv2::kPluginUri);
    EXPECT_EQ("K'q Drifton", plugin->name());
}

TEST_F(Lv2Bundle, ControlPortsAreTheParameterTableRows) {
    for (std::size_t i = 0; i < drifton::kParameterTable.size(); ++i) {
        const drifton::ParameterRow& row = drifton::kParameterTable[i];
        SCOPED_TRACE(row.symbol);
        const lv2host::PortInfo* port = plugin->port(row.symbol);
        ASSERT_NE(nullptr, port);
        EXPECT_EQ(drifton::lv2::kFirstControl + i, port->index);
        EXPECT_EQ(lv2host::PortKind::kControl, port->kind);
        EXPECT_TRUE(port->input);
        EXPECT_EQ(row.name, port->name);
        EXPECT_EQ(row.minimum, port->minimum);
        EXPECT_EQ(row.maximum, port->maximum);
        EXPECT_EQ(row.defaultValue, port->defaultValue);
        const auto has = [&](const std::string& property) {
            return std::count(port->properties.begin(), port->properties.end(), property) == 1;
        };
        EXPECT_EQ(row.isEnumeration(), has(lv2("integer")));
        EXPECT_EQ(row.isEnumeration(), has(lv2("enumeration")));
        ASSERT_EQ(row.labels.size(), port->scalePoints.size());
        for (std::size_t n = 0; n < row.labels.size(); ++n) {
            EXPECT_EQ(row.minimum + static_cast<float>(n), port->scalePoints[n].first);
            EXPECT_EQ(row.labels[n], port->scalePoints[n].second);
        }
        const char* unit = row.unit == drifton::Unit::kPercent  ? "pc"
                           : row.unit == drifton::Unit::kDegree ? "degree"
                                                                : nullptr;
        if (unit != nullptr) {
            EXPECT_EQ(std::string(kUnits) + unit, port->unit.value_or(""));
        } else {
            EXPECT_FALSE(port->unit.has_value());
        }
    }
}

TEST_F(Lv2Bundle, AudioAndTimePortsAreWhereTheBinaryConnectsThem) {
    struct Expected {
        const char* symbol;
        std::uint32_t index;
        lv2host::PortKind kind;
        bool input;
    };
    const Expected rows[] = {
        {"in_left", drifton::lv2::kInLeft, lv2host::PortKind::kAudio, true},
        {"in_right", drifton::lv2::kInRight, lv2host::PortKind::kAudio, true},
        {"out_left", drifton::lv2::kOutLeft, lv2host::PortKind::kAudio, false},
        {"out_right", drifton::lv2::kOutRight, lv2host::PortKind::kAudio, false},
        {"time", drifton::lv2::kTime, lv2host::PortKind::kAtom, true},
    };
    EXPECT_EQ(drifton::lv2::kPortCount, plugin->ports().size());
    for (const Expected& row : rows) {
        const lv2host::PortInfo* port = plugin->port(row.symbol);
        ASSERT_NE(nullptr, port) << row.symbol;
        EXPECT_EQ(row.index, port->index) << row.symbol;
        EXPECT_EQ(row.kind, port->kind) << row.symbol;
        EXPECT_EQ(row.input, port->input) << row.symbol;
    }
    const lv2host::PortInfo* time = plugin->port("time");
    ASSERT_NE(nullptr, time);
    EXPECT_EQ(
        1, std::count(time->properties.begin(), time->properties.end(), lv2("connectionOptional")));
}

TEST_F(Lv2Bundle, ClassFeaturesAndVersionAreThoseOfTheProject) {
    EXPECT_TRUE(plugin->isA(lv2("SpatialPlugin")));
    EXPECT_TRUE(plugin->values(lv2("requiredFeature")).empty());
    const auto optional = plugin->values(lv2("optionalFeature"));
    const std::set<std::string> features(optional.begin(), optional.end());
    EXPECT_EQ((std::set<std::string>{lv2("hardRTCapable"), "http://lv2plug.in/ns/ext/urid#map"}),
              features);
    EXPECT_EQ(std::vector<std::string>{std::to_string(DRIFTON_VERSION_MINOR)},
              plugin->values(lv2("minorVersion")));
    EXPECT_EQ(std::vector<std::string>{std::to_string(DRIFTON_VERSION_PATCH)},
              plugin->values(lv2("microVersion")));
    const auto comment = plugin->values("http://www.w3.org/2000/01/rdf-schema#comment");
    ASSERT_EQ(1u, comment.size());
    EXPECT_NE(std::string::npos, comment[0].find(DRIFTON_VERSION));
}

TEST(Lv2Binary, ExportsOnlyTheDescriptor) {
    EXPECT_EQ(std::set<std::string>{"lv2_descriptor"},
              pantest::definedDynamicSymbols(DRIFTON_LV2_BINARY));
}

TEST(Lv2Binary, ALoadErrorNamesTheFolder) {
    std::string error;
    EXPECT_EQ(nullptr, lv2host::Plugin::load("/nonexistent/x.lv2", "", &error));
    EXPECT_NE(std::string::npos, error.find("/nonexistent/x.lv2")) << error;
}

}  // namespace
