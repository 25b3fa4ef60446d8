#include "drifton_lv2/drifton_lv2.h"

#include <lv2/atom/util.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "floatmode/float_mode_guard.h"

namespace drifton::lv2 {

Urids Urids::map(const LV2_URID_Map& map) {
    const auto id = [&map](const char* uri) { return map.map(map.handle, uri); };
    Urids u;
    u.atomBlank = id(LV2_ATOM__Blank);
    u.atomObject = id(LV2_ATOM__Object);
    u.atomFloat = id(LV2_ATOM__Float);
    u.atomDouble = id(LV2_ATOM__Double);
    u.atomInt = id(LV2_ATOM__Int);
    u.atomLong = id(LV2_ATOM__Long);
    u.atomBeatTime = id(LV2_ATOM__beatTime);
    u.timePosition = id(LV2_TIME__Position);
    u.timeBar = id(LV2_TIME__bar);
    u.timeBarBeat = id(LV2_TIME__barBeat);
    u.timeBeat = id(LV2_TIME__beat);
    u.timeBeatUnit = id(LV2_TIME__beatUnit);
    u.timeBeatsPerBar = id(LV2_TIME__beatsPerBar);
    u.timeBeatsPerMinute = id(LV2_TIME__beatsPerMinute);
    u.timeSpeed = id(LV2_TIME__speed);
    u.timeFrame = id(LV2_TIME__frame);
    return u;
}

DriftonLV2::DriftonLV2(double sampleRate, const LV2_URID_Map* map) : sampleRate_(sampleRate) {
    if (map != nullptr && map->map != nullptr) {
        urids_ = Urids::map(*map);
        // A map that answers 0 (no URID) for what the panner reads is no map.
        mapped_ = urids_.timePosition != 0 && urids_.atomObject != 0;
    }
    activate();
}

void DriftonLV2::connect(std::uint32_t port, void* data) {
    switch (port) {
    case kInLeft:
    case kInRight:
        inputs_[port - kInLeft] = static_cast<const float*>(data);
        break;
    case kOutLeft:
    case kOutRight:
        outputs_[port - kOutLeft] = static_cast<float*>(data);
        break;
    case kTime:
        time_ = static_cast<const LV2_Atom_Sequence*>(data);
        break;
    default:
        if (port >= kFirstControl && port < kTime) {
            controls_[port - kFirstControl] = static_cast<const float*>(data);
        }
        break;
    }
}

void DriftonLV2::activate() {
    engine_.emplace();
    // The engine keeps its initial rate when the host's is not usable; the
    // timeline then moves positions on at that rate too.
    if (!engine_->prepare(static_cast<float>(sampleRate_))) {
        sampleRate_ = static_cast<double>(engine_->sampleRate());
    }
    timeline_ = HostTimeline{};
}

void DriftonLV2::readControls() {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const float* control = controls_[i];
        // A non-finite value keeps the last one; others are clamped (and an
        // enumeration's rounded) by the row.
        if (control != nullptr && std::isfinite(*control)) {
            const ParameterRow& row = kParameterTable[i];
            setField(settings_, row.field, fieldFromPlain(row, *control));
        }
    }
}

void DriftonLV2::processPiece(std::uint32_t from, std::uint32_t to) {
    if (to <= from) {
        return;
    }
    const auto frames = static_cast<std::int32_t>(to - from);
    engine_->process(
        settings_, timeline_.transport(),
        {inputs_[0] + from, inputs_[1] + from, outputs_[0] + from, outputs_[1] + from, frames});
    timeline_.advance(frames, sampleRate_);
}

namespace {

// A number atom's value, whichever numeric type the host chose.
std::optional<double> numberOf(const LV2_Atom& atom, const Urids& u) {
    const void* body = &atom + 1;
    if (atom.type == u.atomFloat && atom.size >= sizeof(float)) {
        float value;
        std::memcpy(&value, body, sizeof value);
        return static_cast<double>(value);
    }
    if (atom.type == u.atomDouble && atom.size >= sizeof(double)) {
        double value;
        std::memcpy(&value, body, sizeof value);
        return value;
    }
    if (atom.type == u.atomInt && atom.size >= sizeof(std::int32_t)) {
        std::int32_t value;
        std::memcpy(&value, body, sizeof value);
        return static_cast<double>(value);
    }
    if (atom.type == u.atomLong && atom.size >= sizeof(std::int64_t)) {
        std::int64_t value;
        std::memcpy(&value, body, sizeof value);
        return static_cast<double>(value);
    }
    return std::nullopt;
}

}  // namespace

// Reads a time:Position object; false for any other atom. Every size is
// checked against the atom that holds it: nothing outside is read.
bool DriftonLV2::readPosition(const LV2_Atom& atom, TimePosition& position) const {
    if ((atom.type != urids_.atomObject && atom.type != urids_.atomBlank) ||
        atom.size < sizeof(LV2_Atom_Object_Body)) {
        return false;
    }
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&atom);
    if (object->body.otype != urids_.timePosition) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&object->body);
    constexpr auto kHeader = static_cast<std::uint32_t>(sizeof(LV2_Atom_Property_Body));
    std::uint32_t offset = sizeof(LV2_Atom_Object_Body);
    while (atom.size - offset >= kHeader) {
        const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(bytes + offset);
        const std::uint32_t room = atom.size - offset - kHeader;
        if (property->value.size > room) {
            break;
        }
        if (const std::optional<double> value = numberOf(property->value, urids_)) {
            const LV2_URID key = property->key;
            if (key == urids_.timeBeat) {
                position.beat = value;
            } else if (key == urids_.timeBar) {
                position.bar = value;
            } else if (key == urids_.timeBarBeat) {
                position.barBeat = value;
            } else if (key == urids_.timeBeatsPerBar) {
                position.beatsPerBar = value;
            } else if (key == urids_.timeBeatUnit) {
                position.beatUnit = value;
            } else if (key == urids_.timeBeatsPerMinute) {
                position.beatsPerMinute = value;
            } else if (key == urids_.timeSpeed) {
                position.speed = value;
            } else if (key == urids_.timeFrame) {
                position.frame = value;
            }
        }
        const std::uint32_t step = lv2_atom_pad_size(kHeader + property->value.size);
        if (step == 0 || step > atom.size - offset) {  // 0: the padding wrapped around
            break;
        }
        offset += step;
    }
    return true;
}

// Walks the sequence's events in order; at each time:Position object the
// piece before it is processed and the object applied. An event before the
// current piece's start applies at that start; one at or past the block's end
// applies after the block's last piece.
void DriftonLV2::applyEvents(const LV2_Atom_Sequence& sequence, std::uint32_t frames,
                             std::uint32_t& pieceStart) {
    const std::uint32_t size = sequence.atom.size;
    if (size < sizeof(LV2_Atom_Sequence_Body)) {
        return;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&sequence.body);
    constexpr auto kHeader = static_cast<std::uint32_t>(sizeof(LV2_Atom_Event));
    std::uint32_t offset = sizeof(LV2_Atom_Sequence_Body);
    while (size - offset >= kHeader) {
        const auto* event = reinterpret_cast<const LV2_Atom_Event*>(bytes + offset);
        const std::uint32_t room = size - offset - kHeader;
        if (event->body.size > room) {
            break;
        }
        TimePosition position;
        if (readPosition(event->body, position)) {
            // Beat-time offsets cannot be placed in frames: such objects apply at
            // once. The unit is read only here, at an event: in Ardour 7.3's
            // blocks without events it is uninitialised memory (seen under
            // valgrind).
            const bool beatTime =
                urids_.atomBeatTime != 0 && sequence.body.unit == urids_.atomBeatTime;
            const std::int64_t at = beatTime ? 0 : event->time.frames;
            const auto frame = static_cast<std::uint32_t>(
                std::clamp<std::int64_t>(at, pieceStart, static_cast<std::int64_t>(frames)));
            processPiece(pieceStart, frame);
            pieceStart = frame;
            timeline_.apply(position);
        }
        const std::uint32_t step = lv2_atom_pad_size(kHeader + event->body.size);
        if (step == 0 || step > size - offset) {  // 0: the padding wrapped around
            break;
        }
        offset += step;
    }
}

// Controls are read once, at the block's start. With an audio port not
// connected the block's events still move the transport, but no audio is
// touched.
void DriftonLV2::run(std::uint32_t frames) {
    const FloatModeGuard floatMode;
    readControls();
    const bool audio = inputs_[0] != nullptr && inputs_[1] != nullptr && outputs_[0] != nullptr &&
                       outputs_[1] != nullptr;
    // One block never holds more frames than a piece's count can say.
    frames = std::min<std::uint32_t>(frames, 0x7fffffffu);
    std::uint32_t pieceStart = 0;
    if (mapped_ && time_ != nullptr) {
        if (audio) {
            applyEvents(*time_, frames, pieceStart);
        } else {
            applyEvents(*time_, 0, pieceStart);
        }
    }
    if (audio) {
        processPiece(pieceStart, frames);
    }
}

namespace {

// Host's instantiation thread: a new instance, or null when it cannot be
// made. Never throws; urid:map is used when offered, nothing is required.
LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*,
                       const LV2_Feature* const* features) noexcept {
    const LV2_URID_Map* map = nullptr;
    for (std::size_t i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (features[i]->URI != nullptr && std::strcmp(features[i]->URI, LV2_URID__map) == 0) {
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
        }
    }
    return new (std::nothrow) DriftonLV2(sampleRate, map);
}

// Any thread but the audio thread's run(): stores the port's buffer.
void connectPort(LV2_Handle instance, std::uint32_t port, void* data) noexcept {
    static_cast<DriftonLV2*>(instance)->connect(port, data);
}

// Host's instantiation thread, instance inactive: resets filter, sweep and transport.
void activate(LV2_Handle instance) noexcept { static_cast<DriftonLV2*>(instance)->activate(); }

// Audio thread, instance active, ports connected: pans `frames` frames. No
// allocation, lock or system call.
void run(LV2_Handle instance, std::uint32_t frames) noexcept {
    static_cast<DriftonLV2*>(instance)->run(frames);
}

// Host's instantiation thread: nothing to release on deactivation.
void deactivate(LV2_Handle) noexcept {}

// Host's instantiation thread, instance inactive: destroys the instance.
void cleanup(LV2_Handle instance) noexcept { delete static_cast<DriftonLV2*>(instance); }

// Any thread: the panner has no extension interfaces.
const void* extensionData(const char*) noexcept { return nullptr; }

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate,
                                    run,        deactivate,  cleanup,     extensionData};

}  // namespace

const LV2_Descriptor& descriptor() { return kDescriptor; }

}  // namespace drifton::lv2
