#include "panner/drifton_vst.h"

#include "framework/text_copy.h"
#include "vst_parameters.h"

namespace {

constexpr VstInt32 kUniqueId = fourCharCode('r', 'p', 'v', 'n');
constexpr const char* kEffectName = "K'q Drifton";
constexpr const char* kVendorName = "K'q Lum-vee";

}  // namespace

DriftonVST::DriftonVST(audioMasterCallback callback, drifton::KernelPath kernel)
    : AudioEffectX(callback, kNumPrograms, kNumParams), engine_(kernel) {
    setIsSynth(false);
    canProcessReplacing(true);
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(kUniqueId);

    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const drifton::ParameterRow& row = drifton::kParameterTable[i];
        fields_[i].store(drifton::vst::fieldFromHostValue(row, drifton::vst::defaultHostValue(row)),
                         std::memory_order_relaxed);
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

void DriftonVST::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    engine_.prepare(rate);
}

void DriftonVST::setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
    AudioEffectX::setBlockSizeAndSampleRate(newBlockSize, newSampleRate);
    engine_.prepare(newSampleRate);
}

double DriftonVST::updateSampleRate() {
    const double rate = AudioEffectX::updateSampleRate();
    engine_.prepare(sampleRate);
    return rate;
}
