#include "panner/drifton_vst.h"

#include <cmath>

#include "framework/text_copy.h"

namespace {

constexpr VstInt32 kUniqueId = fourCharCode('r', 'p', 'v', 'n');
constexpr const char* kEffectName = "K'q Drifton";
constexpr const char* kVendorName = "K'q Lum-vee";

}  // namespace

DriftonVST::DriftonVST(audioMasterCallback callback)
    : AudioEffectX(callback, kNumPrograms, kNumParams),
      periodIndex(0),
      waveShape(0),
      width(0.0f),
      phaseShift(0.0f),
      a0(0.0f),
      a1(0.0f),
      a2(0.0f),
      b0(0.0f),
      b1(0.0f),
      b2(0.0f),
      y1(0.0f),
      y2(0.0f),
      x1(0.0f),
      x2(0.0f) {
    setIsSynth(false);
    canProcessReplacing(true);
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(kUniqueId);

    periodIndex = 3;
    waveShape = 1;
    width = 0.75f;
    phaseShift = 0.0f;
}

bool DriftonVST::getEffectName(char* name) {
    copyTextWithLimit(name, kEffectName, kVstMaxEffectNameLen);
    return true;
}

bool DriftonVST::getProductString(char* text) { return DriftonVST::getEffectName(text); }

bool DriftonVST::getVendorString(char* text) {
    copyTextWithLimit(text, kVendorName, kVstMaxVendorStrLen);
    return true;
}

// Processing is not built yet: the signal passes unchanged.
void DriftonVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (inputs == nullptr || outputs == nullptr) {
        return;
    }
    for (int channel = 0; channel < 2; ++channel) {
        const float* in = inputs[channel];
        float* out = outputs[channel];
        if (in == nullptr || out == nullptr) {
            continue;
        }
        for (VstInt32 i = 0; i < sampleFrames; ++i) {
            out[i] = in[i];
        }
    }
}

// Parameters are not built yet.
void DriftonVST::setParameter(VstInt32, float) {}
float DriftonVST::getParameter(VstInt32) { return 0.0f; }
void DriftonVST::getParameterLabel(VstInt32, char* label) { writeEmptyText(label); }
void DriftonVST::getParameterDisplay(VstInt32, char* text) { writeEmptyText(text); }
void DriftonVST::getParameterName(VstInt32, char* text) { writeEmptyText(text); }
