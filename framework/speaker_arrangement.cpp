// Placeholder: the speaker-arrangement helpers are not built yet; each answers false.
#include "framework/audio_effect_x.h"

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement**, VstInt32) { return false; }
bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement**) { return false; }
bool AudioEffectX::copySpeaker(VstSpeakerProperties*, VstSpeakerProperties*) { return false; }
bool AudioEffectX::matchArrangement(VstSpeakerArrangement**, VstSpeakerArrangement*) {
    return false;
}
