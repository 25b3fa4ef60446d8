// Speaker-arrangement helpers of AudioEffectX. An arrangement is one block of
// exactly 8 + 112 x numChannels bytes taken from the C heap, so that nothing
// here throws: these helpers may be reached from a host call.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "framework/audio_effect_x.h"

namespace {

// Longest speaker name kept by a copy; the name field has one more byte for the terminator.
constexpr std::size_t kSpeakerNameLimit = sizeof(VstSpeakerProperties::name) - 1;

void releaseArrangement(VstSpeakerArrangement** slot) {
    std::free(*slot);
    *slot = nullptr;
}

}  // namespace

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** slot, VstInt32 channelCount) {
    if (slot == nullptr) {
        return false;
    }
    releaseArrangement(slot);

    // Computed in 64 bits so that no channel count can overflow the size.
    const std::int64_t byteSize =
        static_cast<std::int64_t>(kVstSpeakerArrangementHeaderSize) +
        static_cast<std::int64_t>(sizeof(VstSpeakerProperties)) * std::int64_t{channelCount};
    if (channelCount < 0 || byteSize > INT32_MAX) {
        return false;
    }
    void* storage = std::calloc(1, static_cast<std::size_t>(byteSize));
    if (storage == nullptr) {
        return false;
    }
    auto* arrangement = static_cast<VstSpeakerArrangement*>(storage);
    arrangement->numChannels = channelCount;
    *slot = arrangement;
    return true;
}

// An empty slot, or no slot at all, holds nothing to release: still true.
bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** slot) {
    if (slot != nullptr) {
        releaseArrangement(slot);
    }
    return true;
}

// Reads at most 63 bytes of the source name, so a name that fills its field
// without a terminator is cut rather than overread. Safe when to == from.
bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
    if (to == nullptr || from == nullptr) {
        return false;
    }
    std::size_t length = 0;
    while (length < kSpeakerNameLimit && from->name[length] != '\0') {
        to->name[length] = from->name[length];
        ++length;
    }
    std::memset(to->name + length, 0, sizeof(to->name) - length);

    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    to->type = from->type;
    std::memmove(to->future, from->future, sizeof(to->future));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** slot, VstSpeakerArrangement* from) {
    if (from == nullptr) {
        return false;
    }
    // Releasing the slot would free the source before it is read; a slot that
    // already holds the source holds a copy of it.
    if (slot != nullptr && *slot == from) {
        return true;
    }
    if (!deallocateArrangement(slot)) {
        return false;
    }
    if (!allocateArrangement(slot, from->numChannels) || slot == nullptr || *slot == nullptr) {
        return false;
    }
    VstSpeakerArrangement* copy = *slot;
    copy->type = from->type;
    // An overriding allocateArrangement may size the copy differently; never
    // read past the source's own speakers.
    const VstInt32 count =
        copy->numChannels < from->numChannels ? copy->numChannels : from->numChannels;
    for (VstInt32 i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (!copySpeaker(vstSpeakerAt(copy, index), vstSpeakerAt(from, index))) {
            return false;
        }
    }
    return true;
}
