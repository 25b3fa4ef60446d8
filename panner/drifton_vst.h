// DriftonVST: a tempo-synchronised stereo auto-panner, two in and two out.
#pragma once

#include <array>
#include <cstdint>

#include "framework/audio_effect_x.h"

// Note divisions of the sweep: entry N means a half-cycle lasts 1/N of a whole note.
inline constexpr std::array<std::int32_t, 12> PeriodTable = {1,  2,  3,  4,  6,  8,
                                                             12, 16, 24, 32, 48, 64};

class DriftonVST : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = 1;
    static constexpr VstInt32 kNumParams = 4;

    // Builds the record (2 in, 2 out, "rpvn"), initial parameters and the
    // smoothing filter's coefficients for 44100 Hz. No host call.
    explicit DriftonVST(audioMasterCallback callback);
    ~DriftonVST() override = default;

    // Audio thread: pans inputs 0/1 into outputs 0/1.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    // Any host thread.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    // Dispatcher thread: texts written with the limits hosts expect.
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;

    // Dispatcher thread: identity texts, limit 24 characters; answer true.
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;

protected:
    std::int32_t periodIndex;
    std::int32_t waveShape;
    float width;
    float phaseShift;
    float a0, a1, a2;
    float b0, b1, b2;
    float y1, y2;
    float x1, x2;
};
