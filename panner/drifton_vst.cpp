#include "panner/drifton_vst.h"

#include <cmath>

#include "framework/text_copy.h"
#include "panner/smoothing_filter.h"

const float outputGain = std::sqrt(2.0f);

namespace {

constexpr VstInt32 kUniqueId = fourCharCode('r', 'p', 'v', 'n');
constexpr const char* kEffectName = "K'q Drifton";
constexpr const char* kVendorName = "K'q Lum-vee";
constexpr float kLowestUsableRate = 1.0f;

}  // namespace

DriftonVST::DriftonVST(audioMasterCallback callback)
    : AudioEffectX(callback, kNumPrograms, kNumParams),
      a0(0.0f),
      a1(0.0f),
      a2(0.0f),
      b0(0.0f),
      b1(0.0f),
      b2(0.0f),
      y1(0.0f),
      y2(0.0f),
      x1(0.0f),
      x2(0.0f),
      processingRate(sampleRate) {
    setIsSynth(false);
    canProcessReplacing(true);
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(kUniqueId);

    for (const drifton::ParameterRow& row : drifton::kParameterTable) {
        row.store(parameters, row.defaultValue);
    }

    // Computed once, for the rate at construction (44100 Hz); later rate
    // changes move the oscillator's timing but never the filter.
    const drifton::SmoothingCoefficients c = drifton::smoothingCoefficients(sampleRate);
    a0 = c.a0;
    a1 = c.a1;
    a2 = c.a2;
    b0 = c.b0;
    b1 = c.b1;
    b2 = c.b2;
    blockFilter = drifton::BlockSmoothingFilter(c);
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

void DriftonVST::rememberProcessingRate(float rate) {
    // No host runs below 1 Hz; a smaller rate would only make the beats per
    // sample absurd, so it is ignored like zero, a negative or a non-finite one.
    if (std::isfinite(rate) && rate >= kLowestUsableRate) {
        processingRate.store(rate, std::memory_order_relaxed);
    }
}

void DriftonVST::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    rememberProcessingRate(rate);
}

void DriftonVST::setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
    AudioEffectX::setBlockSizeAndSampleRate(newBlockSize, newSampleRate);
    rememberProcessingRate(newSampleRate);
}

double DriftonVST::updateSampleRate() {
    const double rate = AudioEffectX::updateSampleRate();
    rememberProcessingRate(sampleRate);
    return rate;
}
