#include "framework/audio_effect.h"

#include <cstring>

#include "floatmode/float_mode_guard.h"
#include "framework/effect_thunks.h"

namespace {

constexpr VstInt32 kDefaultUniqueId = fourCharCode('N', 'o', 'E', 'f');
constexpr VstInt32 kIdentifyAnswer = fourCharCode('N', 'v', 'E', 'f');
constexpr VstInt32 kLastCoreOpcode = effSetChunk;

VstIntPtr asAnswer(bool state) { return state ? 1 : 0; }

// Core opcodes whose ptr is a text buffer; a null buffer is never handed on.
bool isCoreTextOpcode(VstInt32 opcode) {
    switch (opcode) {
    case effSetProgramName:
    case effGetProgramName:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        return true;
    default:
        return false;
    }
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback callback, VstInt32 numPrograms, VstInt32 numParams)
    : hostCallback(callback),
      editor(nullptr),
      sampleRate(44100.0f),
      blockSize(1024),
      programCount(numPrograms),
      parameterCount(numParams),
      currentProgram(0) {
    std::memset(&effectRecord, 0, sizeof(effectRecord));
    effectRecord.flags = effFlagsCanReplacing;
    installEffectThunks(effectRecord);
    effectRecord.magic = kEffectMagic;
    effectRecord.numPrograms = programCount;
    effectRecord.numParams = parameterCount;
    effectRecord.numInputs = 1;
    effectRecord.numOutputs = 2;
    effectRecord.ioRatio = 1.0f;
    effectRecord.object = this;
    effectRecord.uniqueID = kDefaultUniqueId;
    effectRecord.version = 1;
}

AudioEffect::~AudioEffect() { delete editor; }

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    if (static_cast<std::uint32_t>(opcode) > static_cast<std::uint32_t>(kLastCoreOpcode)) {
        return 0;
    }
    if (ptr == nullptr && isCoreTextOpcode(opcode)) {
        return 0;
    }
    char* const text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        if (value < programCount) {
            setProgram(static_cast<VstInt32>(value));
        }
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        setProgramName(text);
        return 0;
    case effGetProgramName:
        getProgramName(text);
        return 0;
    case effGetParamLabel:
        getParameterLabel(index, text);
        return 0;
    case effGetParamDisplay:
        getParameterDisplay(index, text);
        return 0;
    case effGetParamName:
        getParameterName(index, text);
        return 0;
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0) {
            suspend();
        } else {
            resume();
        }
        return 0;
    case effEditGetRect:
        return editor != nullptr ? asAnswer(editor->getRect(ptr)) : 0;
    case effEditOpen:
        return editor != nullptr ? asAnswer(editor->open(ptr)) : 0;
    case effEditClose:
        if (editor != nullptr) {
            editor->close();
        }
        return 0;
    case effEditIdle:
        if (editor != nullptr) {
            editor->idle();
        }
        return 0;
    case effIdentify:
        return kIdentifyAnswer;
    case effGetChunk:
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:  // effGetVu and the editor opcodes without an action
        return 0;
    }
}

namespace {

// Whether all `count` channel pointers of a host's channel array are there.
template <typename Sample>
bool hasChannels(Sample** channels, VstInt32 count) {
    if (channels == nullptr) {
        return count <= 0;
    }
    for (VstInt32 i = 0; i < count; ++i) {
        if (channels[i] == nullptr) {
            return false;
        }
    }
    return true;
}

// Frames to process, and every channel the record announces.
template <typename Sample>
bool isProcessableBlock(const AEffect& record, Sample** inputs, Sample** outputs,
                        VstInt32 sampleFrames) {
    return sampleFrames > 0 && hasChannels(inputs, record.numInputs) &&
           hasChannels(outputs, record.numOutputs);
}

}  // namespace

void AudioEffect::processReplacingAtBoundary(float** inputs, float** outputs,
                                             VstInt32 sampleFrames) {
    const FloatModeGuard floatMode;
    if (isProcessableBlock(effectRecord, inputs, outputs, sampleFrames)) {
        processReplacing(inputs, outputs, sampleFrames);
    } else {
        replacingBlockSkipped();
    }
}

void AudioEffect::processDoubleReplacingAtBoundary(double** inputs, double** outputs,
                                                   VstInt32 sampleFrames) {
    const FloatModeGuard floatMode;
    if (isProcessableBlock(effectRecord, inputs, outputs, sampleFrames)) {
        processDoubleReplacing(inputs, outputs, sampleFrames);
    }
}

void AudioEffect::processAccumulatingAtBoundary(float** inputs, float** outputs,
                                                VstInt32 sampleFrames) {
    const FloatModeGuard floatMode;
    if (isProcessableBlock(effectRecord, inputs, outputs, sampleFrames)) {
        processAccumulating(inputs, outputs, sampleFrames);
    }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    if (!hasHost()) {
        return 1;
    }
    const auto version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version == 0 ? 1 : version;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

// The host answers 0 for a connected pin; without a host every pin counts as connected.
bool AudioEffect::isInputConnected(VstInt32 input) {
    return static_cast<VstInt32>(callHost(audioMasterPinConnected, input, 0)) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    return static_cast<VstInt32>(callHost(audioMasterPinConnected, output, 1)) == 0;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    if (hostCallback == nullptr) {
        return 0;
    }
    return hostCallback(&effectRecord, opcode, index, value, ptr, opt);
}

void AudioEffect::setFlag(VstInt32 bit, bool state) {
    if (state) {
        effectRecord.flags |= bit;
    } else {
        effectRecord.flags &= ~bit;
    }
}
