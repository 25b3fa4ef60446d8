#include "panner/drifton_vst.h"

#include <cmath>

#include "framework/text_copy.h"

namespace {

constexpr VstInt32 kUniqueId = fourCharCode('r', 'p', 'v', 'n');
constexpr const char* kEffectName = "K'q Drifton";
constexpr const char* kVendorName = "K'q Lum-vee";
constexpr float kLowestUsableRate = 1.0f;

}  // namespace

DriftonVST::DriftonVST(audioMasterCallback callback, drifton::KernelPath kernel)
    : AudioEffectX(callback, kNumPrograms, kNumParams),
      // Computed once, for the rate at construction (44100 Hz); later rate
      // changes move the oscillator's timing but never the filter.
      filter(drifton::smoothingCoefficients(sampleRate)),
      kernelPath(kernel),
      processingRate(sampleRate) {
    setIsSynth(false);
    canProcessReplacing(true);
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(kUniqueId);

    for (const drifton::ParameterRow& row : drifton::kParameterTable) {
        row.store(parameters, row.defaultValue);
    }
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
