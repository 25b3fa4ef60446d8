// drifton-render's LV2 side: an LV2 plug-in through our lilv host, its
// control inputs as the parameters, the transport forged as one
// time:Position object at the start of every block.
#include <fcntl.h>
#include <lv2/core/lv2.h>
#include <lv2/port-props/port-props.h>
#include <lv2/units/units.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "host/lv2_host.h"
#include "tools/common/cli.h"
#include "tools/render/effect.h"
#include "tools/render/parameters.h"
#include "tools/render/renderer.h"

namespace render {

using tools::ToolError;

namespace {

constexpr const char* kEnumeration = LV2_CORE__enumeration;
constexpr const char* kInteger = LV2_CORE__integer;
constexpr const char* kToggled = LV2_CORE__toggled;

bool has(const lv2host::PortInfo& port, const char* property) {
    return std::find(port.properties.begin(), port.properties.end(), property) !=
           port.properties.end();
}

// The unit's symbol as shown after a value; the degree sign is matched away
// with every other non-ASCII byte.
std::string unitSymbol(const lv2host::PortInfo& port) {
    static const std::pair<const char*, const char*> kUnits[] = {
        {LV2_UNITS__pc, "%"},  {LV2_UNITS__degree, "\xC2\xB0"}, {LV2_UNITS__db, "dB"},
        {LV2_UNITS__hz, "Hz"}, {LV2_UNITS__khz, "kHz"},         {LV2_UNITS__ms, "ms"},
        {LV2_UNITS__s, "s"},   {LV2_UNITS__bpm, "BPM"},         {LV2_UNITS__semitone12TET, "semi"},
    };
    for (const auto& [uri, symbol] : kUnits) {
        if (port.unit && *port.unit == uri) {
            return symbol;
        }
    }
    return {};
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The control inputs, in port order, by name, symbol and text.
class Lv2Parameters : public ParameterNames {
public:
    Lv2Parameters(const lv2host::Plugin& plugin, lv2host::Instance& instance)
        : instance_(instance) {
        for (const lv2host::PortInfo& port : plugin.ports()) {
            if (port.kind == lv2host::PortKind::kControl && port.input) {
                ports_.push_back(&port);
            }
        }
    }

    const lv2host::PortInfo& port(int index) const {
        return *ports_[static_cast<std::size_t>(index)];
    }
    int count() const override { return static_cast<int>(ports_.size()); }
    std::string name(int index) const override { return port(index).name; }

    int resolveName(const std::string& option, const std::string& name) const override {
        const std::string wanted = tools::lowercase(name);
        for (int index = 0; index < count(); ++index) {
            if (tools::lowercase(port(index).name) == wanted ||
                tools::lowercase(port(index).symbol) == wanted) {
                return index;
            }
        }
        if (const auto n = tools::toNumber(name);
            n && *n >= 0 && *n < count() && std::floor(*n) == *n) {
            return static_cast<int>(*n);
        }
        std::vector<std::string> valid;
        for (int index = 0; index < count(); ++index) {
            valid.push_back(port(index).name + " (" + port(index).symbol + ")");
        }
        throw ToolError(option + ": no parameter " + tools::quoted(name) + "; valid names: " +
                        joined(valid) + " (or an index 0.." + std::to_string(count() - 1) + ")");
    }

    float resolveText(const std::string& option, int index, const std::string& text) override {
        const lv2host::PortInfo& p = port(index);
        const std::string unit = unitSymbol(p);
        const std::string wanted = normalise(text, unit);
        // A scale point's label, exactly, then a unique word it starts or
        // that starts it ("sine-shaped" for "Sin", "tri" for "Triangle").
        for (const auto& [value, label] : p.scalePoints) {
            if (normalise(label, unit) == wanted) {
                return value;
            }
        }
        if (!tools::toNumber(wanted) && wanted.size() >= 2 &&
            std::isalpha(static_cast<unsigned char>(wanted[0])) != 0) {
            const std::pair<float, std::string>* found = nullptr;
            int matches = 0;
            for (const auto& point : p.scalePoints) {
                const std::string shown = normalise(point.second, unit);
                if (shown.rfind(wanted, 0) == 0 ||
                    (shown.size() >= 3 && wanted.rfind(shown, 0) == 0)) {
                    found = &point;
                    ++matches;
                }
            }
            if (matches == 1) {
                return found->first;
            }
        }
        const float low = p.minimum.value_or(0.0f);
        const float high = p.maximum.value_or(1.0f);
        if (!has(p, kEnumeration)) {
            if (const auto n = tools::toNumber(wanted);
                n && *n >= static_cast<double>(low) && *n <= static_cast<double>(high)) {
                const bool whole = has(p, kInteger) || has(p, kToggled);
                return static_cast<float>(whole ? std::round(*n) : *n);
            }
        }
        std::vector<std::string> labels;
        for (const auto& point : p.scalePoints) {
            labels.push_back(point.second);
        }
        const std::string range =
            number(low) + " .. " + number(high) + (unit.empty() ? "" : " " + unit);
        throw ToolError(option + ": " + p.name + " has no value " + tools::quoted(text) +
                        "; valid values: " +
                        (has(p, kEnumeration) ? joined(labels)
                         : labels.empty()     ? range
                                              : joined(labels) + " or " + range));
    }

    float fromNormalised(int index, float normalised) const override {
        const lv2host::PortInfo& p = port(index);
        const float low = p.minimum.value_or(0.0f);
        const float high = p.maximum.value_or(1.0f);
        const float value = low + normalised * (high - low);
        return has(p, kInteger) || has(p, kEnumeration) || has(p, kToggled) ? std::round(value)
                                                                            : value;
    }

    // The value as a label when a scale point has it, else a number and unit.
    std::string textOf(int index, float value) const {
        const lv2host::PortInfo& p = port(index);
        for (const auto& [point, label] : p.scalePoints) {
            if (point == value) {
                return label;
            }
        }
        const std::string unit = unitSymbol(p);
        return number(value) + (unit.empty() ? "" : unit == "\xC2\xB0" ? unit : " " + unit);
    }

    std::string shown(int index) override {
        return textOf(index, instance_.control(port(index).symbol).value_or(NAN));
    }

private:
    lv2host::Instance& instance_;
    std::vector<const lv2host::PortInfo*> ports_;
};

const char* kindOf(const lv2host::PortInfo& port) {
    switch (port.kind) {
    case lv2host::PortKind::kAudio:
        return port.input ? "audio in" : "audio out";
    case lv2host::PortKind::kControl:
        return port.input ? "control in" : "control out";
    case lv2host::PortKind::kAtom:
        return port.input ? "atom in" : "atom out";
    case lv2host::PortKind::kOther:
        break;
    }
    return port.input ? "other in" : "other out";
}

// The last part of a URI: "SpatialPlugin", "enumeration".
std::string shortName(const std::string& uri) {
    const auto cut = uri.find_last_of("#/");
    return cut == std::string::npos ? uri : uri.substr(cut + 1);
}

// liblilv reports what it cannot parse or load on stderr, several lines at a
// time; the tool says it in one line of its own. Standard error goes to
// /dev/null while lilv loads, and comes back when this goes out of scope.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) {
            ::dup2(null, STDERR_FILENO);
        }
        if (null >= 0) {
            ::close(null);
        }
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

class Lv2Effect : public Effect {
public:
    Lv2Effect(std::shared_ptr<lv2host::Plugin> plugin, double sampleRate)
        : plugin_(std::move(plugin)) {
        instantiate(sampleRate);
    }

    ParameterNames& parameters() override { return *parameters_; }
    void setParameter(int index, float value) override {
        instance_->setControl(parameters_->port(index).symbol, value);
    }

    void printInfo(const std::string& path, std::ostream& out) override {
        std::vector<std::string> classes;
        for (const std::string& type :
             plugin_->values("http://www.w3.org/1999/02/22-rdf-syntax-ns#type")) {
            if (type != LV2_CORE__Plugin) {
                classes.push_back(shortName(type));
            }
        }
        int audioIn = 0, audioOut = 0;
        for (const lv2host::PortInfo& port : plugin_->ports()) {
            if (port.kind == lv2host::PortKind::kAudio) {
                ++(port.input ? audioIn : audioOut);
            }
        }
        out << "Plug-in:  " << path << " (LV2)\n"
            << "Name:     " << plugin_->name() << "\n"
            << "URI:      " << plugin_->uri() << "\n";
        if (!classes.empty()) {
            out << "Class:    " << joined(classes) << "\n";
        }
        out << "Channels: " << audioIn << " in, " << audioOut << " out\n"
            << "Ports:\n";
        for (const lv2host::PortInfo& port : plugin_->ports()) {
            out << "  " << port.index << "  " << port.symbol << "  " << kindOf(port) << "  \""
                << port.name << "\"";
            std::vector<std::string> properties;
            for (const std::string& property : port.properties) {
                properties.push_back(shortName(property));
            }
            if (!properties.empty()) {
                out << "  (" << joined(properties) << ")";
            }
            out << "\n";
        }
        out << "Parameters:\n";
        Lv2Parameters& table = *parameters_;
        for (int index = 0; index < table.count(); ++index) {
            const lv2host::PortInfo& port = table.port(index);
            out << "  " << index << "  " << port.name << " (" << port.symbol
                << ") = " << table.shown(index) << "  [";
            if (port.minimum && port.maximum) {
                out << number(*port.minimum) << " .. " << number(*port.maximum);
            }
            if (port.defaultValue) {
                out << ", default " << table.textOf(index, *port.defaultValue);
            }
            out << "]\n";
            if (!port.scalePoints.empty()) {
                out << "       ";
                for (const auto& [value, label] : port.scalePoints) {
                    out << ' ' << number(value) << '=' << label;
                }
                out << "\n";
            }
        }
    }

    void checkChannels(const std::string& path) override {
        int audioIn = 0, audioOut = 0;
        for (const lv2host::PortInfo& port : plugin_->ports()) {
            if (port.kind == lv2host::PortKind::kAudio) {
                ++(port.input ? audioIn : audioOut);
            }
        }
        if (audioIn != 2 || audioOut != 2) {
            throw ToolError(tools::quoted(path) + ": has " + std::to_string(audioIn) +
                            " audio inputs and " + std::to_string(audioOut) +
                            " audio outputs; drifton-render drives stereo effects (2 in, 2 out)");
        }
    }

    std::string productName() override { return plugin_->name(); }

    std::unique_ptr<Effect> another(double sampleRate, int) override {
        return std::make_unique<Lv2Effect>(plugin_, sampleRate);
    }

    void begin(double sampleRate, int, const Transport&,
               const std::vector<std::pair<int, float>>& settings) override {
        if (sampleRate != rate_) {
            instantiate(sampleRate);  // an LV2 instance keeps the rate it was made with
        }
        for (const auto& [index, value] : settings) {
            setParameter(index, value);
        }
    }

    void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                 int frames, const Transport& transport, double position,
                 std::int64_t frame) override {
        events_.clear();
        if (transport.available) {
            // A 4/4 song, as the VST side reports it: time:beat in quarter
            // notes, the bar keys alike, the tempo in quarter notes per
            // minute, rolling at speed 1, with the frame.
            lv2host::TimePosition t;
            t.beat = position;
            t.beatUnit = 4.0;
            t.beatsPerBar = 4.0;
            t.bar = std::floor(position / 4.0);
            t.barBeat = position - *t.bar * 4.0;
            t.beatsPerMinute = transport.tempo;
            t.speed = 1.0;
            t.frame = static_cast<double>(frame);
            events_.push_back({0, t});
        }
        instance_->run(inLeft, inRight, outLeft, outRight, static_cast<std::uint32_t>(frames),
                       events_);
    }

    void end() override {}

private:
    void instantiate(double sampleRate) {
        parameters_.reset();
        instance_.reset();
        std::string error;
        {
            const QuietStderr quiet;
            instance_ = plugin_->instantiate(sampleRate, {}, &error);
        }
        if (instance_ == nullptr) {
            throw ToolError(error);
        }
        rate_ = sampleRate;
        parameters_.emplace(*plugin_, *instance_);
    }

    std::shared_ptr<lv2host::Plugin> plugin_;
    double rate_ = 0.0;
    std::unique_ptr<lv2host::Instance> instance_;
    std::optional<Lv2Parameters> parameters_;
    std::vector<lv2host::Event> events_;
};

}  // namespace

std::unique_ptr<Effect> openLv2Effect(const std::string& path, double sampleRate) {
    std::string error;
    std::unique_ptr<lv2host::Plugin> plugin;
    std::error_code code;
    const QuietStderr quiet;
    if (std::filesystem::exists(path, code)) {
        plugin = lv2host::Plugin::load(path, "", &error);
    } else if (isLv2Uri(path)) {
        plugin = lv2host::Plugin::find(path, &error);
    } else {
        throw ToolError(tools::quoted(path) + ": no such LV2 bundle folder");
    }
    if (plugin == nullptr) {
        throw ToolError(error);
    }
    return std::make_unique<Lv2Effect>(std::move(plugin), sampleRate);
}

}  // namespace render
