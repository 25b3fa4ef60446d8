// DriftonLV2: the LV2 edition of the panner. Stereo audio in and out, the
// parameter table's four controls as control ports in their own units, and an
// optional atom input for the host's time:Position objects. A thin binding:
// the block is split at each object's frame offset and every piece goes
// through the same PanEngine as the VST edition, with the transport a VST
// host would have reported there.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstdint>
#include <optional>

#include "drifton_lv2/host_timeline.h"
#include "engine/pan_engine.h"
#include "engine/parameter_table.h"

namespace drifton::lv2 {

// The plug-in's URI: it names the plug-in in every host's session, so it never changes.
inline constexpr const char* kPluginUri = "urn:kq-lum-vee:drifton";

// Port indices, as the bundle's Turtle numbers them.
enum Port : std::uint32_t {
    kInLeft = 0,
    kInRight = 1,
    kOutLeft = 2,
    kOutRight = 3,
    kFirstControl = 4,  // then one control per parameter-table row, in table order
    kTime = kFirstControl + static_cast<std::uint32_t>(kParameterCount),
    kPortCount
};

// The URIDs the atom input is read with; all 0 without urid:map.
struct Urids {
    LV2_URID atomBlank = 0;
    LV2_URID atomObject = 0;
    LV2_URID atomFloat = 0;
    LV2_URID atomDouble = 0;
    LV2_URID atomInt = 0;
    LV2_URID atomLong = 0;
    LV2_URID atomBeatTime = 0;
    LV2_URID timePosition = 0;
    LV2_URID timeBar = 0;
    LV2_URID timeBarBeat = 0;
    LV2_URID timeBeat = 0;
    LV2_URID timeBeatUnit = 0;
    LV2_URID timeBeatsPerBar = 0;
    LV2_URID timeBeatsPerMinute = 0;
    LV2_URID timeSpeed = 0;
    LV2_URID timeFrame = 0;

    static Urids map(const LV2_URID_Map& map);
};

class DriftonLV2 {
public:
    // Sample rates that are not usable leave the engine at its initial rate.
    // Without a map (`map` null) the atom input is ignored: no song position,
    // the sweep runs free at 120 quarter notes per minute.
    DriftonLV2(double sampleRate, const LV2_URID_Map* map);

    void connect(std::uint32_t port, void* data);
    // Back to the state of a new instance (filter, sweep, transport); the
    // control values stay.
    void activate();
    // Pans one block; see the comment of run() in the source.
    void run(std::uint32_t frames);

    // The settings the next run() starts from, for tests.
    const PanSettings& settings() const { return settings_; }

private:
    void readControls();
    void processPiece(std::uint32_t from, std::uint32_t to);
    void applyEvents(const LV2_Atom_Sequence& sequence, std::uint32_t frames,
                     std::uint32_t& pieceStart);
    bool readPosition(const LV2_Atom& atom, TimePosition& position) const;

    Urids urids_;
    bool mapped_ = false;
    double sampleRate_;
    std::array<const float*, 2> inputs_{};
    std::array<float*, 2> outputs_{};
    std::array<const float*, kParameterCount> controls_{};
    const LV2_Atom_Sequence* time_ = nullptr;

    PanSettings settings_ = defaultSettings();
    // Constructed in place on activation, so activation neither allocates nor copies.
    std::optional<PanEngine> engine_;
    HostTimeline timeline_;
};

// The descriptor every host gets from lv2_descriptor(0).
const LV2_Descriptor& descriptor();

}  // namespace drifton::lv2
