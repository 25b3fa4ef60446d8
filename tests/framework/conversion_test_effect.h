// A minimal effect for exercising the framework's conversions and speaker
// helpers as a concrete effect would: no host, no parameters, silent audio.
#pragma once

#include "framework/audio_effect_x.h"

class ConversionTestEffect : public AudioEffectX {
public:
    ConversionTestEffect() : AudioEffectX(nullptr, 1, 0) {}

    void processReplacing(float** /*inputs*/, float** /*outputs*/,
                          VstInt32 /*sampleFrames*/) override {}
};
