#include "host/lv2_host.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/port-props/port-props.h>
#include <lv2/time/time.h>
#include <lv2/units/units.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace lv2host {

namespace {

// A lilv node made here and freed when it goes out of scope.
class Node {
public:
    Node(LilvWorld* world, const char* uri) : node_(lilv_new_uri(world, uri)) {}
    explicit Node(LilvNode* node) : node_(node) {}
    ~Node() { lilv_node_free(node_); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    const LilvNode* get() const { return node_; }

private:
    LilvNode* node_;
};

std::string textOf(const LilvNode* node) {
    if (node == nullptr) {
        return {};
    }
    if (lilv_node_is_uri(node)) {
        return lilv_node_as_uri(node);
    }
    const char* text = lilv_node_as_string(node);
    return text != nullptr ? text : "";
}

std::optional<float> numberOf(const LilvNode* node) {
    if (node != nullptr && (lilv_node_is_float(node) || lilv_node_is_int(node))) {
        return lilv_node_as_float(node);
    }
    return std::nullopt;
}

}  // namespace

UridMap::UridMap() {
    map_.handle = this;
    map_.map = [](LV2_URID_Map_Handle handle, const char* uri) -> LV2_URID {
        return uri != nullptr ? static_cast<UridMap*>(handle)->map(uri) : 0;
    };
    unmap_.handle = this;
    unmap_.unmap = [](LV2_URID_Unmap_Handle handle, LV2_URID urid) -> const char* {
        return static_cast<const UridMap*>(handle)->unmap(urid);
    };
}

LV2_URID UridMap::map(const std::string& uri) {
    const auto [at, added] = ids_.emplace(uri, static_cast<LV2_URID>(uris_.size() + 1));
    if (added) {
        uris_.push_back(&at->first);
    }
    return at->second;
}

const char* UridMap::unmap(LV2_URID urid) const {
    return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1]->c_str() : nullptr;
}

std::unique_ptr<Plugin> Plugin::load(const std::string& bundleFolder, const std::string& uri,
                                     std::string* error) {
    const auto fail = [error](const std::string& reason) {
        if (error != nullptr) {
            *error = reason;
        }
        return nullptr;
    };
    std::error_code code;
    if (!std::filesystem::is_regular_file(std::filesystem::path(bundleFolder) / "manifest.ttl",
                                          code)) {
        return fail(bundleFolder + ": not an LV2 bundle (no manifest.ttl)");
    }
    std::string folder = std::filesystem::absolute(bundleFolder, code).string();
    if (folder.empty() || folder.back() != '/') {
        folder += '/';  // lilv takes a bundle's URI with its closing slash
    }
    std::unique_ptr<Plugin> plugin(new Plugin());
    plugin->world_ = lilv_world_new();
    LilvWorld* world = plugin->world_;
    {
        Node bundle(lilv_new_file_uri(world, nullptr, folder.c_str()));
        lilv_world_load_bundle(world, bundle.get());
    }
    const LilvPlugins* all = lilv_world_get_all_plugins(world);
    if (uri.empty()) {
        if (lilv_plugins_size(all) == 0) {
            return fail(bundleFolder +
                        ": holds no LV2 plug-in (its manifest.ttl names none, or does not parse)");
        }
        if (lilv_plugins_size(all) != 1) {
            return fail(bundleFolder + ": holds " + std::to_string(lilv_plugins_size(all)) +
                        " plug-ins; name one by its URI");
        }
        plugin->plugin_ = lilv_plugins_get(all, lilv_plugins_begin(all));
    } else {
        Node wanted(world, uri.c_str());
        plugin->plugin_ = lilv_plugins_get_by_uri(all, wanted.get());
        if (plugin->plugin_ == nullptr) {
            return fail(bundleFolder + ": no plug-in " + uri);
        }
    }
    plugin->readPorts();
    return plugin;
}

std::unique_ptr<Plugin> Plugin::find(const std::string& uri, std::string* error) {
    std::unique_ptr<Plugin> plugin(new Plugin());
    plugin->world_ = lilv_world_new();
    LilvWorld* world = plugin->world_;
    lilv_world_load_all(world);
    Node wanted(world, uri.c_str());
    plugin->plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), wanted.get());
    if (plugin->plugin_ == nullptr) {
        if (error != nullptr) {
            const char* path = std::getenv("LV2_PATH");
            *error = uri + ": no such LV2 plug-in in " +
                     (path != nullptr ? "LV2_PATH (" + std::string(path) + ")"
                                      : std::string("the LV2 folders (~/.lv2, /usr/local/lib/lv2, "
                                                    "/usr/lib/lv2, ...; or set LV2_PATH)"));
        }
        return nullptr;
    }
    plugin->readPorts();
    return plugin;
}

void Plugin::readPorts() {
    LilvWorld* world = world_;
    const LilvPlugin* p = plugin_;

    Node audio(world, LV2_CORE__AudioPort);
    Node control(world, LV2_CORE__ControlPort);
    Node atom(world, LV2_ATOM__AtomPort);
    Node input(world, LV2_CORE__InputPort);
    Node unit(world, LV2_UNITS__unit);
    const std::uint32_t count = lilv_plugin_get_num_ports(p);
    for (std::uint32_t i = 0; i < count; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
        PortInfo info;
        info.index = i;
        info.symbol = textOf(lilv_port_get_symbol(p, port));
        {
            Node name(lilv_port_get_name(p, port));
            info.name = textOf(name.get());
        }
        info.input = lilv_port_is_a(p, port, input.get());
        info.kind = lilv_port_is_a(p, port, audio.get())     ? PortKind::kAudio
                    : lilv_port_is_a(p, port, control.get()) ? PortKind::kControl
                    : lilv_port_is_a(p, port, atom.get())    ? PortKind::kAtom
                                                             : PortKind::kOther;
        LilvNode *minimum = nullptr, *maximum = nullptr, *defaultValue = nullptr;
        lilv_port_get_range(p, port, &defaultValue, &minimum, &maximum);
        info.minimum = numberOf(minimum);
        info.maximum = numberOf(maximum);
        info.defaultValue = numberOf(defaultValue);
        lilv_node_free(minimum);
        lilv_node_free(maximum);
        lilv_node_free(defaultValue);
        if (LilvScalePoints* points = lilv_port_get_scale_points(p, port)) {
            LILV_FOREACH(scale_points, it, points) {
                const LilvScalePoint* point = lilv_scale_points_get(points, it);
                info.scalePoints.emplace_back(
                    numberOf(lilv_scale_point_get_value(point)).value_or(NAN),
                    textOf(lilv_scale_point_get_label(point)));
            }
            lilv_scale_points_free(points);
            std::sort(info.scalePoints.begin(), info.scalePoints.end());
        }
        if (LilvNodes* properties = lilv_port_get_properties(p, port)) {
            LILV_FOREACH(nodes, it, properties) {
                info.properties.push_back(textOf(lilv_nodes_get(properties, it)));
            }
            lilv_nodes_free(properties);
        }
        if (LilvNodes* units = lilv_port_get_value(p, port, unit.get())) {
            if (lilv_nodes_size(units) > 0) {
                info.unit = textOf(lilv_nodes_get_first(units));
            }
            lilv_nodes_free(units);
        }
        ports_.push_back(std::move(info));
    }
}

Plugin::~Plugin() { lilv_world_free(world_); }

std::string Plugin::uri() const { return textOf(lilv_plugin_get_uri(plugin_)); }

std::string Plugin::name() const {
    Node name(lilv_plugin_get_name(plugin_));
    return textOf(name.get());
}

const PortInfo* Plugin::port(const std::string& symbol) const {
    const auto found = std::find_if(ports_.begin(), ports_.end(),
                                    [&](const PortInfo& p) { return p.symbol == symbol; });
    return found != ports_.end() ? &*found : nullptr;
}

std::vector<std::string> Plugin::values(const std::string& predicate) const {
    std::vector<std::string> texts;
    Node what(world_, predicate.c_str());
    if (LilvNodes* nodes = lilv_plugin_get_value(plugin_, what.get())) {
        LILV_FOREACH(nodes, it, nodes) { texts.push_back(textOf(lilv_nodes_get(nodes, it))); }
        lilv_nodes_free(nodes);
    }
    return texts;
}

bool Plugin::isA(const std::string& classUri) const {
    const std::vector<std::string> types =
        values("http://www.w3.org/1999/02/22-rdf-syntax-ns#type");
    return std::find(types.begin(), types.end(), classUri) != types.end();
}

std::unique_ptr<Instance> Plugin::instantiate(double sampleRate, const Features& features,
                                              std::string* error) {
    LV2_Feature map{LV2_URID__map, urids_.mapFeature()};
    LV2_Feature unmap{LV2_URID__unmap, urids_.unmapFeature()};
    const LV2_Feature* withMap[] = {&map, &unmap, nullptr};
    const LV2_Feature* none[] = {nullptr};
    LilvInstance* instance =
        lilv_plugin_instantiate(plugin_, sampleRate, features.uridMap ? withMap : none);
    if (instance == nullptr) {
        if (error != nullptr) {
            *error = uri() + ": the plug-in refused to instantiate";
        }
        return nullptr;
    }
    std::unique_ptr<Instance> result(new Instance(*this, instance));
    lilv_instance_activate(instance);
    return result;
}

Instance::Instance(Plugin& plugin, LilvInstance* instance)
    : plugin_(plugin),
      instance_(instance),
      controls_(plugin.ports().size(), 0.0f),
      sequence_(8192) {
    for (const PortInfo& port : plugin_.ports()) {
        switch (port.kind) {
        case PortKind::kAudio:
            (port.input ? audioIn_ : audioOut_).push_back(port.index);
            break;
        case PortKind::kControl:
            controls_[port.index] = port.defaultValue.value_or(port.minimum.value_or(0.0f));
            lilv_instance_connect_port(instance_, port.index, &controls_[port.index]);
            break;
        case PortKind::kAtom:
            if (port.input && !timePort_) {
                timePort_ = port.index;
            }
            break;
        case PortKind::kOther:
            break;
        }
    }
}

Instance::~Instance() {
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
}

bool Instance::setControl(const std::string& symbol, float value) {
    const PortInfo* port = plugin_.port(symbol);
    if (port == nullptr || port->kind != PortKind::kControl || !port->input) {
        return false;
    }
    controls_[port->index] = value;
    return true;
}

std::optional<float> Instance::control(const std::string& symbol) const {
    const PortInfo* port = plugin_.port(symbol);
    if (port == nullptr || port->kind != PortKind::kControl) {
        return std::nullopt;
    }
    return controls_[port->index];
}

void Instance::disconnectTime() {
    timeConnected_ = false;
    if (timePort_) {
        lilv_instance_connect_port(instance_, *timePort_, nullptr);
    }
}

void Instance::forge(std::span<const Event> events) {
    UridMap& urids = plugin_.urids();
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, urids.mapFeature());
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(sequence_.data()),
                              sequence_.size() * sizeof(std::uint64_t));
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, beatTime_ ? urids.map(LV2_ATOM__beatTime) : 0);
    for (const Event& event : events) {
        if (beatTime_) {
            lv2_atom_forge_beat_time(&forge, static_cast<double>(event.frame));
        } else {
            lv2_atom_forge_frame_time(&forge, event.frame);
        }
        if (const auto* raw = std::get_if<RawAtom>(&event.atom)) {
            lv2_atom_forge_atom(&forge, static_cast<std::uint32_t>(raw->body.size()),
                                urids.map(raw->type));
            lv2_atom_forge_write(&forge, raw->body.data(),
                                 static_cast<std::uint32_t>(raw->body.size()));
            lv2_atom_forge_pad(&forge, static_cast<std::uint32_t>(raw->body.size()));
            continue;
        }
        const TimePosition& t = std::get<TimePosition>(event.atom);
        LV2_Atom_Forge_Frame object;
        const std::string type = t.objectType.empty() ? LV2_TIME__Position : t.objectType;
        lv2_atom_forge_object(&forge, &object, 0, urids.map(type));
        const auto key = [&](const char* uri) { lv2_atom_forge_key(&forge, urids.map(uri)); };
        const auto number = [&](const char* uri, const std::optional<double>& value,
                                char ardourType) {
            if (!value) {
                return;
            }
            key(uri);
            if (!t.ardourTypes || ardourType == 'd') {
                lv2_atom_forge_double(&forge, *value);
            } else if (ardourType == 'l') {
                lv2_atom_forge_long(&forge, static_cast<std::int64_t>(*value));
            } else if (ardourType == 'i') {
                lv2_atom_forge_int(&forge, static_cast<std::int32_t>(*value));
            } else {
                lv2_atom_forge_float(&forge, static_cast<float>(*value));
            }
        };
        number(LV2_TIME__frame, t.frame, 'l');
        number(LV2_TIME__speed, t.speed, 'f');
        number(LV2_TIME__beat, t.beat, 'd');
        number(LV2_TIME__bar, t.bar, 'l');
        number(LV2_TIME__barBeat, t.barBeat, 'f');
        number(LV2_TIME__beatUnit, t.beatUnit, 'i');
        number(LV2_TIME__beatsPerBar, t.beatsPerBar, 'f');
        number(LV2_TIME__beatsPerMinute, t.beatsPerMinute, 'f');
        for (const auto& [uri, value] : t.extraKeys) {
            key(uri.c_str());
            lv2_atom_forge_double(&forge, value);
        }
        lv2_atom_forge_pop(&forge, &object);
    }
    lv2_atom_forge_pop(&forge, &sequence);
}

void Instance::run(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                   std::uint32_t frames, std::span<const Event> events) {
    const float* inputs[] = {inLeft, inRight};
    float* outputs[] = {outLeft, outRight};
    for (std::size_t i = 0; i < audioIn_.size() && i < 2; ++i) {
        lilv_instance_connect_port(instance_, audioIn_[i], const_cast<float*>(inputs[i]));
    }
    for (std::size_t i = 0; i < audioOut_.size() && i < 2; ++i) {
        lilv_instance_connect_port(instance_, audioOut_[i], outputs[i]);
    }
    if (timePort_ && timeConnected_) {
        forge(events);
        lilv_instance_connect_port(instance_, *timePort_, sequence_.data());
    }
    lilv_instance_run(instance_, frames);
}

}  // namespace lv2host
