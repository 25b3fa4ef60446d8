#include "framework/audio_effect_x.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr VstInt32 kMidiEventFilter = 1;

VstIntPtr asAnswer(bool state) { return state ? 1 : 0; }

// Extended opcodes whose ptr is a text buffer; a null buffer is never handed on.
bool isExtendedTextOpcode(VstInt32 opcode) {
    switch (opcode) {
    case effString2Parameter:
    case effGetProgramNameIndexed:
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString:
    case effCanDo:
    case effShellGetNextPlugin:
        return true;
    default:
        return false;
    }
}

// Low 8 bits of a float truncated toward zero. Values no integer can hold
// (NaN, infinities, beyond 64 bits) give 0 instead of undefined behaviour.
std::uint8_t lowByteOfTruncated(float value) {
    constexpr float kLimit = 9.2233720e18f;  // just inside the 64-bit range
    if (!std::isfinite(value) || std::fabs(value) >= kLimit) {
        return 0;
    }
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

}  // namespace

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    if (ptr == nullptr && isExtendedTextOpcode(opcode)) {
        return 0;
    }
    char* const text = static_cast<char*>(ptr);
    const auto value32 = static_cast<VstInt32>(value);
    switch (opcode) {
    case effProcessEvents:
        return processEvents(static_cast<VstEvents*>(ptr));
    case effCanBeAutomated:
        return asAnswer(canParameterBeAutomated(index));
    case effString2Parameter:
        return asAnswer(string2parameter(index, text));
    case effGetProgramNameIndexed:
        return asAnswer(getProgramNameIndexed(value32, index, text));
    case effGetInputProperties:
        return asAnswer(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetOutputProperties:
        return asAnswer(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetPlugCategory:
        return getPlugCategory();
    case effOfflineNotify:
        return asAnswer(offlineNotify(static_cast<VstAudioFile*>(ptr), value32, index != 0));
    case effOfflinePrepare:
        return asAnswer(offlinePrepare(static_cast<VstOfflineTask*>(ptr), value32));
    case effOfflineRun:
        return asAnswer(offlineRun(static_cast<VstOfflineTask*>(ptr), value32));
    case effProcessVarIo:
        return asAnswer(processVariableIo(static_cast<VstVariableIo*>(ptr)));
    case effSetSpeakerArrangement:
        return asAnswer(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                              static_cast<VstSpeakerArrangement*>(ptr)));
    case effSetBypass:
        return asAnswer(setBypass(value != 0));
    case effGetEffectName:
        return asAnswer(getEffectName(text));
    case effGetVendorString:
        return asAnswer(getVendorString(text));
    case effGetProductString:
        return asAnswer(getProductString(text));
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
        return canDo(text);
    case effGetTailSize:
        return getTailSize();
    case effGetParameterProperties:
        return asAnswer(getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
    case effGetVstVersion:
        return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
        if (editor == nullptr) {
            return 0;
        }
        VstKeyCode key{};
        key.character = index;
        key.virt = static_cast<std::uint8_t>(value);
        key.modifier = lowByteOfTruncated(opt);
        return asAnswer(opcode == effEditKeyDown ? editor->keyDown(key) : editor->keyUp(key));
    }
    case effSetEditKnobMode:
        return editor != nullptr ? asAnswer(editor->setKnobMode(value32)) : 0;
    case effGetMidiProgramName:
        return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
    case effGetCurrentMidiProgram:
        return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
    case effGetMidiProgramCategory:
        return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
    case effHasMidiProgramsChanged:
        return asAnswer(hasMidiProgramsChanged(index));
    case effGetMidiKeyName:
        return asAnswer(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
    case effBeginSetProgram:
        return asAnswer(beginSetProgram());
    case effEndSetProgram:
        return asAnswer(endSetProgram());
    case effGetSpeakerArrangement:
        return asAnswer(getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                              static_cast<VstSpeakerArrangement**>(ptr)));
    case effShellGetNextPlugin:
        return getNextShellPlugin(text);
    case effStartProcess:
        return startProcess();
    case effStopProcess:
        return stopProcess();
    case effSetTotalSampleToProcess:
        return setTotalSampleToProcess(value32);
    case effSetPanLaw:
        return asAnswer(setPanLaw(value32, opt));
    case effBeginLoadBank:
        return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
    case effBeginLoadProgram:
        return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
    case effSetProcessPrecision:
        return asAnswer(setProcessPrecision(value32));
    case effGetNumMidiInputChannels:
        return getNumMidiInputChannels();
    case effGetNumMidiOutputChannels:
        return getNumMidiOutputChannels();
    default:
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume() {
    if ((effectRecord.flags & effFlagsIsSynth) != 0) {
        wantEvents(kMidiEventFilter);
        return;
    }
    char query[] = "receiveVstMidiEvent";
    if (canDo(query) == 1) {
        wantEvents(kMidiEventFilter);
    }
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input,
                                         VstSpeakerArrangement** output) {
    if (input != nullptr) {
        *input = nullptr;
    }
    if (output != nullptr) {
        *output = nullptr;
    }
    return false;
}

bool AudioEffectX::getEffectName(char* name) {
    writeEmptyText(name);
    return false;
}

bool AudioEffectX::getVendorString(char* text) {
    writeEmptyText(text);
    return false;
}

bool AudioEffectX::getProductString(char* text) {
    writeEmptyText(text);
    return false;
}

VstInt32 AudioEffectX::getPlugCategory() {
    return (effectRecord.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

// --- Host queries. callHost answers 0 without a host, which is the no-host
// result of every query below except the two updates.

bool AudioEffectX::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }

bool AudioEffectX::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }

bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }

double AudioEffectX::updateSampleRate() {
    if (hasHost()) {
        const VstIntPtr answer = callHost(audioMasterGetSampleRate);
        if (answer > 0) {
            sampleRate = static_cast<float>(answer);
        }
    }
    return static_cast<double>(sampleRate);
}

VstInt32 AudioEffectX::updateBlockSize() {
    if (hasHost()) {
        const auto answer = static_cast<VstInt32>(callHost(audioMasterGetBlockSize));
        if (answer > 0) {
            blockSize = answer;
        }
    }
    return blockSize;
}

VstIntPtr AudioEffectX::getInputLatency() { return callHost(audioMasterGetInputLatency); }

VstIntPtr AudioEffectX::getOutputLatency() { return callHost(audioMasterGetOutputLatency); }

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

VstIntPtr AudioEffectX::getCurrentProcessLevel() {
    return callHost(audioMasterGetCurrentProcessLevel);
}

VstIntPtr AudioEffectX::getAutomationState() { return callHost(audioMasterGetAutomationState); }

bool AudioEffectX::getHostVendorString(char* text) {
    return callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
    return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

VstIntPtr AudioEffectX::getHostVendorVersion() { return callHost(audioMasterGetVendorVersion); }

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg,
                                           float floatArg) {
    return callHost(audioMasterVendorSpecific, arg1, arg2, ptrArg, floatArg);
}

VstInt32 AudioEffectX::canHostDo(char* text) {
    return callHost(audioMasterCanDo, 0, 0, text) != 0 ? 1 : 0;
}

VstIntPtr AudioEffectX::getHostLanguage() { return callHost(audioMasterGetLanguage); }

void* AudioEffectX::getDirectory() {
    return reinterpret_cast<void*>(callHost(audioMasterGetDirectory));
}

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::openFileSelector(VstFileSelect* selector) {
    return selector != nullptr && callHost(audioMasterOpenFileSelector, 0, 0, selector) != 0;
}

bool AudioEffectX::closeFileSelector(VstFileSelect* selector) {
    return selector != nullptr && callHost(audioMasterCloseFileSelector, 0, 0, selector) != 0;
}

bool AudioEffectX::offlineRead(VstOfflineTask* task, VstInt32 option, bool readSource) {
    return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, task) != 0;
}

bool AudioEffectX::offlineWrite(VstOfflineTask* task, VstInt32 option) {
    return callHost(audioMasterOfflineWrite, 0, option, task) != 0;
}

bool AudioEffectX::offlineStart(VstAudioFile* files, VstInt32 count, VstInt32 newCount) {
    return callHost(audioMasterOfflineStart, newCount, count, files) != 0;
}

VstInt32 AudioEffectX::offlineGetCurrentPass() {
    return callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0;
}

VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
    return callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
}

VstIntPtr AudioEffectX::wantEvents(VstInt32 filter) {
    return callHost(audioMasterWantMidi, 0, filter);
}

VstIntPtr AudioEffectX::tempoAt(VstInt32 position) {
    return callHost(audioMasterTempoAt, 0, position);
}

VstIntPtr AudioEffectX::getNumAutomatableParameters() {
    return callHost(audioMasterGetNumAutomatableParameters);
}

VstIntPtr AudioEffectX::getParameterQuantization() {
    return callHost(audioMasterGetParameterQuantization);
}

bool AudioEffectX::needIdle() { return callHost(audioMasterNeedIdle) != 0; }

AEffect* AudioEffectX::getPreviousPlug() {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug));
}

AEffect* AudioEffectX::getNextPlug() {
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug));
}

VstIntPtr AudioEffectX::willProcessReplacing() {
    return callHost(audioMasterWillReplaceOrAccumulate);
}

VstIntPtr AudioEffectX::setOutputSampleRate(float rate) {
    return callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}

VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
    return reinterpret_cast<VstSpeakerArrangement*>(
        callHost(audioMasterGetInputSpeakerArrangement));
}

VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
    return reinterpret_cast<VstSpeakerArrangement*>(
        callHost(audioMasterGetOutputSpeakerArrangement));
}

void* AudioEffectX::openWindow(VstWindow* window) {
    return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
}

bool AudioEffectX::closeWindow(VstWindow* window) {
    return callHost(audioMasterCloseWindow, 0, 0, window) != 0;
}

bool AudioEffectX::getChunkFile(void* nativePath) {
    return nativePath != nullptr && callHost(audioMasterGetChunkFile, 0, 0, nativePath) != 0;
}
