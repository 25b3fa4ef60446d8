// A small LV2 host on liblilv: loads a bundle from a folder, lists a
// plug-in's ports, offers urid:map (or no feature at all, as lv2apply does),
// forges time:Position objects and other atoms at chosen frames into the
// atom input, and runs an instance block by block. Used by the tests and the
// tools; it knows nothing of the panner's code.
#pragma once

#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// liblilv's types, kept out of this header's users.
struct LilvWorldImpl;
struct LilvPluginImpl;
struct LilvInstanceImpl;

namespace lv2host {

// The keys of one time:Position object; keys left empty are not sent. By
// default every number is an atom:Double; `ardourTypes` sends them as Ardour
// 7.3 does (bar and frame atom:Long, beatUnit atom:Int, the rest atom:Float).
struct TimePosition {
    std::optional<double> beat;
    std::optional<double> bar;
    std::optional<double> barBeat;
    std::optional<double> beatsPerBar;
    std::optional<double> beatUnit;
    std::optional<double> beatsPerMinute;
    std::optional<double> speed;
    std::optional<double> frame;
    bool ardourTypes = false;
    // More keys, each sent as an atom:Double (unknown ones, for tests).
    std::vector<std::pair<std::string, double>> extraKeys;
    // The object's type: time:Position unless a test names another.
    std::string objectType;
};

// Any other atom: its type's URI and its body's bytes.
struct RawAtom {
    std::string type;
    std::vector<std::uint8_t> body;
};

// One event of the atom input, at a frame offset inside the block.
struct Event {
    std::int64_t frame = 0;
    std::variant<TimePosition, RawAtom> atom;
};

enum class PortKind { kAudio, kControl, kAtom, kOther };

// A port as the bundle's Turtle describes it.
struct PortInfo {
    std::uint32_t index = 0;
    std::string symbol;
    std::string name;
    PortKind kind = PortKind::kOther;
    bool input = false;
    std::optional<float> minimum, maximum, defaultValue;
    std::vector<std::pair<float, std::string>> scalePoints;  // by value
    std::vector<std::string> properties;                     // lv2:portProperty URIs
    std::optional<std::string> unit;                         // units:unit URI
};

// Strings to URIDs and back, from 1 up, for the life of the map.
class UridMap {
public:
    UridMap();
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    LV2_URID map(const std::string& uri);
    const char* unmap(LV2_URID urid) const;
    LV2_URID_Map* mapFeature() { return &map_; }
    LV2_URID_Unmap* unmapFeature() { return &unmap_; }

private:
    std::map<std::string, LV2_URID> ids_;
    std::vector<const std::string*> uris_;
    LV2_URID_Map map_;
    LV2_URID_Unmap unmap_;
};

// What an instance is offered.
struct Features {
    bool uridMap = true;  // urid:map and urid:unmap; false offers nothing at all
};

class Instance;

// A plug-in loaded from a bundle folder, with its own lilv world. It must
// outlive every instance made from it.
class Plugin {
public:
    // The plug-in `uri` of the bundle in `bundleFolder`, or its only one when
    // `uri` is empty; null with a one-line reason in *error otherwise.
    static std::unique_ptr<Plugin> load(const std::string& bundleFolder, const std::string& uri,
                                        std::string* error);
    // The plug-in `uri` wherever LV2 hosts look (LV2_PATH when set, else the
    // standard folders); null with a one-line reason in *error otherwise.
    static std::unique_ptr<Plugin> find(const std::string& uri, std::string* error);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    std::string uri() const;
    std::string name() const;
    const std::vector<PortInfo>& ports() const { return ports_; }
    // The port with that symbol, or null.
    const PortInfo* port(const std::string& symbol) const;
    // The objects of (plug-in, `predicate`, ?) in the bundle, as URIs or literal texts.
    std::vector<std::string> values(const std::string& predicate) const;
    // Whether the bundle says the plug-in is of class `classUri`.
    bool isA(const std::string& classUri) const;

    // A new, activated instance at `sampleRate`; null with a reason in *error
    // when the plug-in refuses.
    std::unique_ptr<Instance> instantiate(double sampleRate, const Features& features,
                                          std::string* error);

    UridMap& urids() { return urids_; }

private:
    Plugin() = default;
    void readPorts();
    LilvWorldImpl* world_ = nullptr;
    const LilvPluginImpl* plugin_ = nullptr;
    std::vector<PortInfo> ports_;
    UridMap urids_;
};

// One running instance. Control ports start at their defaults; the atom
// input, when the plug-in has one, is connected unless disconnectTime() is
// called, and gets an empty sequence on a block without events.
class Instance {
public:
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Sets the value the control port `symbol` holds from the next block on;
    // false when there is no such control input.
    bool setControl(const std::string& symbol, float value);
    std::optional<float> control(const std::string& symbol) const;

    // Leaves the atom input unconnected from now on, as hosts without one do.
    void disconnectTime();
    // Forges later sequences in beat time (atom:beatTime, each event's
    // `frame` written as that many beats) instead of frames.
    void useBeatTime() { beatTime_ = true; }

    // One block through the first two audio inputs and outputs (outputs may
    // be the inputs' own buffers), with `events` forged into the atom input in
    // the order given. Each buffer holds `frames` floats.
    void run(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
             std::uint32_t frames, std::span<const Event> events = {});

private:
    friend class Plugin;
    Instance(Plugin& plugin, LilvInstanceImpl* instance);
    void forge(std::span<const Event> events);

    Plugin& plugin_;
    LilvInstanceImpl* instance_;
    std::vector<float> controls_;  // by port index; unused entries stay 0
    std::vector<std::uint32_t> audioIn_, audioOut_;
    std::optional<std::uint32_t> timePort_;
    bool timeConnected_ = true;
    bool beatTime_ = false;
    std::vector<std::uint64_t> sequence_;  // 8-byte aligned atom buffer
};

}  // namespace lv2host
