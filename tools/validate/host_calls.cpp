#include "host_calls.h"

#include <algorithm>
#include <cstring>

#include "audio_buffers.h"
#include "text_probe.h"

namespace validate {

namespace {

// Limits the interface documents for texts outside vst_opcodes.h.
constexpr std::size_t kProgramNameLimit = 24;
constexpr std::size_t kErrorTextLimit = 255;
constexpr std::size_t kShellNameLimit = 63;
// Records the plug-in may write through ptr or value: hosts pass buffers of
// the record's size; this is larger than any record of the interface.
constexpr std::size_t kRecordBuffer = 1024;
// A chunk handed back larger than this is not copied.
constexpr VstIntPtr kLargestChunk = 64 << 20;

// The texts hosts ask about with effCanDo.
constexpr const char* kCanDo[] = {
    "receiveVstTimeInfo",  "sendVstEvents", "receiveVstEvents", "sendVstMidiEvent",
    "receiveVstMidiEvent", "bypass",        "offline",          "noRealTime",
    "plugAsChannelInsert"};

std::size_t nominalTextLimit(VstInt32 opcode) {
    switch (opcode) {
    case effGetProgramName:
    case effGetProgramNameIndexed:
        return kProgramNameLimit;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        return kVstMaxParamStrLen;
    case effGetEffectName:
        return kVstMaxEffectNameLen;
    case effGetVendorString:
        return kVstMaxVendorStrLen;
    case effGetProductString:
        return kVstMaxProductStrLen;
    case effGetErrorText:
        return kErrorTextLimit;
    case effShellGetNextPlugin:
        return kShellNameLimit;
    default:
        return 0;  // not a text opcode
    }
}

bool isParameterText(VstInt32 opcode) {
    return opcode == effGetParamLabel || opcode == effGetParamDisplay || opcode == effGetParamName;
}

VstInt32 pickIndex(Rng& rng, int count) {
    return count > 0 ? static_cast<VstInt32>(rng.between(0, count - 1)) : 0;
}

}  // namespace

const char* opcodeName(VstInt32 opcode) {
    static const char* const names[] = {"effOpen",
                                        "effClose",
                                        "effSetProgram",
                                        "effGetProgram",
                                        "effSetProgramName",
                                        "effGetProgramName",
                                        "effGetParamLabel",
                                        "effGetParamDisplay",
                                        "effGetParamName",
                                        "effGetVu",
                                        "effSetSampleRate",
                                        "effSetBlockSize",
                                        "effMainsChanged",
                                        "effEditGetRect",
                                        "effEditOpen",
                                        "effEditClose",
                                        "effEditDraw",
                                        "effEditMouse",
                                        "effEditKey",
                                        "effEditIdle",
                                        "effEditTop",
                                        "effEditSleep",
                                        "effIdentify",
                                        "effGetChunk",
                                        "effSetChunk",
                                        "effProcessEvents",
                                        "effCanBeAutomated",
                                        "effString2Parameter",
                                        "effGetNumProgramCategories",
                                        "effGetProgramNameIndexed",
                                        "effCopyProgram",
                                        "effConnectInput",
                                        "effConnectOutput",
                                        "effGetInputProperties",
                                        "effGetOutputProperties",
                                        "effGetPlugCategory",
                                        "effGetCurrentPosition",
                                        "effGetDestinationBuffer",
                                        "effOfflineNotify",
                                        "effOfflinePrepare",
                                        "effOfflineRun",
                                        "effProcessVarIo",
                                        "effSetSpeakerArrangement",
                                        "effSetBlockSizeAndSampleRate",
                                        "effSetBypass",
                                        "effGetEffectName",
                                        "effGetErrorText",
                                        "effGetVendorString",
                                        "effGetProductString",
                                        "effGetVendorVersion",
                                        "effVendorSpecific",
                                        "effCanDo",
                                        "effGetTailSize",
                                        "effIdle",
                                        "effGetIcon",
                                        "effSetViewPosition",
                                        "effGetParameterProperties",
                                        "effKeysRequired",
                                        "effGetVstVersion",
                                        "effEditKeyDown",
                                        "effEditKeyUp",
                                        "effSetEditKnobMode",
                                        "effGetMidiProgramName",
                                        "effGetCurrentMidiProgram",
                                        "effGetMidiProgramCategory",
                                        "effHasMidiProgramsChanged",
                                        "effGetMidiKeyName",
                                        "effBeginSetProgram",
                                        "effEndSetProgram",
                                        "effGetSpeakerArrangement",
                                        "effShellGetNextPlugin",
                                        "effStartProcess",
                                        "effStopProcess",
                                        "effSetTotalSampleToProcess",
                                        "effSetPanLaw",
                                        "effBeginLoadBank",
                                        "effBeginLoadProgram",
                                        "effSetProcessPrecision",
                                        "effGetNumMidiInputChannels",
                                        "effGetNumMidiOutputChannels"};
    constexpr auto count = static_cast<VstInt32>(sizeof names / sizeof names[0]);
    return opcode >= 0 && opcode < count ? names[opcode] : "unknown";
}

std::string callText(VstInt32 opcode, VstInt32 index, VstIntPtr value, const char* ptr, float opt) {
    return std::string(opcodeName(opcode)) + " (opcode " + std::to_string(opcode) + ") index " +
           std::to_string(index) + " value " + std::to_string(value) + " ptr " + ptr + " opt " +
           describeFloat(opt);
}

bool isEditorOpcode(VstInt32 opcode) {
    return (opcode >= effEditGetRect && opcode <= effEditSleep) || opcode == effEditKeyDown ||
           opcode == effEditKeyUp || opcode == effSetEditKnobMode;
}

bool editorCallsAllowed(const TestInstance& instance) {
    return !instance.hasEditor() || hasDisplay();
}

OpcodeCaller::OpcodeCaller(TestInstance& instance, const Profile& profile)
    : instance_(instance),
      declaredLimit_(static_cast<std::size_t>(std::max(profile.parameterTextLimit, 0))),
      text_(kHostTextBuffer),
      record_(kRecordBuffer),
      second_(kRecordBuffer) {}

std::vector<VstInt32> OpcodeCaller::realisticOpcodes() const {
    std::vector<VstInt32> opcodes = {effSetProgram,
                                     effGetProgram,
                                     effSetProgramName,
                                     effGetProgramName,
                                     effGetParamLabel,
                                     effGetParamDisplay,
                                     effGetParamName,
                                     effSetSampleRate,
                                     effCanBeAutomated,
                                     effString2Parameter,
                                     effGetProgramNameIndexed,
                                     effGetInputProperties,
                                     effGetOutputProperties,
                                     effGetPlugCategory,
                                     effGetEffectName,
                                     effGetVendorString,
                                     effGetProductString,
                                     effGetVendorVersion,
                                     effCanDo,
                                     effGetTailSize,
                                     effIdle,
                                     effGetParameterProperties,
                                     effGetVstVersion,
                                     effGetSpeakerArrangement,
                                     effStartProcess,
                                     effStopProcess,
                                     effSetProcessPrecision,
                                     effProcessEvents,
                                     effBeginSetProgram,
                                     effEndSetProgram,
                                     effGetNumMidiInputChannels,
                                     effGetNumMidiOutputChannels,
                                     effConnectInput,
                                     effConnectOutput};
    if ((instance_.record()->flags & effFlagsProgramChunks) != 0) {
        opcodes.push_back(effGetChunk);
    }
    if (instance_.hasEditor() && editorCallsAllowed(instance_)) {
        opcodes.push_back(effEditGetRect);
        opcodes.push_back(effEditIdle);
    }
    return opcodes;
}

CallVerdict OpcodeCaller::text(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt,
                               std::size_t nominal, std::size_t declared) {
    const TextProbe probe = probeText(
        text_, [&](char* buffer) { instance_.dispatch(opcode, index, value, buffer, opt); });
    const TextVerdict verdict = judgeText(probe, nominal, declared);
    const std::string call = callText(opcode, index, value, "text", opt);
    return {verdict.failure.empty() ? "" : call + ": " + verdict.failure,
            verdict.warning.empty() ? ""
                                    : std::string(opcodeName(opcode)) + " " +
                                          std::to_string(index) + ": " + verdict.warning};
}

CallVerdict OpcodeCaller::record(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt,
                                 const char* input) {
    record_.fill(0);
    if (input != nullptr) {
        std::memcpy(record_.data(), input, std::strlen(input) + 1);
    }
    record_.resetCanaries();
    second_.resetCanaries();
    instance_.dispatch(opcode, index, value, record_.data(), opt);
    std::ptrdiff_t damaged = 0;
    if (!record_.canariesIntact(&damaged) || !second_.canariesIntact(&damaged)) {
        return {callText(opcode, index, value, "record", opt) + ": wrote outside a " +
                    std::to_string(kRecordBuffer) + "-byte record buffer at offset " +
                    std::to_string(damaged),
                ""};
    }
    return {};
}

CallVerdict OpcodeCaller::chunkRoundTrip(VstInt32 index) {
    void* data = nullptr;
    const VstIntPtr size = instance_.dispatch(effGetChunk, index, 0, &data);
    if (size <= 0 || data == nullptr) {
        return {};
    }
    if (size > kLargestChunk) {
        return {"", "effGetChunk answered a chunk of " + std::to_string(size) + " bytes"};
    }
    // A host keeps the chunk and hands it back from its own memory.
    const std::vector<unsigned char> saved(static_cast<const unsigned char*>(data),
                                           static_cast<const unsigned char*>(data) + size);
    std::vector<unsigned char> copy = saved;
    instance_.dispatch(effSetChunk, index, size, copy.data());
    return {};
}

CallVerdict OpcodeCaller::realistic(VstInt32 opcode, Rng& rng, std::string* described) {
    const int params = instance_.params();
    const int programs = std::max(instance_.programs(), 1);
    VstInt32 index = 0;
    VstIntPtr value = 0;
    const char* ptr = "null";
    CallVerdict verdict;
    switch (opcode) {
    case effSetProgram:
        value = pickIndex(rng, programs);
        instance_.dispatch(opcode, 0, value);
        break;
    case effSetProgramName:
        ptr = "text";
        verdict = record(opcode, 0, 0, 0.0f, "Validator");
        break;
    case effGetProgramName:
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString:
        ptr = "text";
        verdict = text(opcode, 0, 0, 0.0f, nominalTextLimit(opcode), 0);
        break;
    case effGetProgramNameIndexed:
        index = pickIndex(rng, programs);
        ptr = "text";
        verdict = text(opcode, index, 0, 0.0f, nominalTextLimit(opcode), 0);
        break;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        if (params == 0) {
            break;
        }
        index = pickIndex(rng, params);
        ptr = "text";
        verdict = text(opcode, index, 0, 0.0f, nominalTextLimit(opcode), declaredLimit_);
        break;
    case effSetSampleRate: {
        // Hosts change the rate and block size while suspended.
        static const std::vector<float> rates = {44100.0f, 48000.0f, 88200.0f, 96000.0f};
        static const std::vector<VstInt32> sizes = {64, 256, 512, 1024, 2048};
        const float rate = rng.pick(rates);
        value = rng.pick(sizes);
        instance_.suspend();
        instance_.setSampleRate(rate);
        instance_.setBlockSize(static_cast<VstInt32>(value));
        instance_.resume();
        if (described != nullptr) {
            *described = "suspend, rate " + describeFloat(rate) + ", block size " +
                         std::to_string(value) + ", resume";
        }
        return {};
    }
    case effCanBeAutomated:
    case effGetParameterProperties:
        if (params == 0) {
            break;
        }
        index = pickIndex(rng, params);
        ptr = "record";
        verdict = record(opcode, index, 0, 0.0f);
        break;
    case effString2Parameter:
        if (params == 0) {
            break;
        }
        index = pickIndex(rng, params);
        ptr = "text";
        verdict = record(opcode, index, 0, 0.0f, "0.5");
        break;
    case effGetInputProperties:
    case effGetOutputProperties:
    case effConnectInput:
    case effConnectOutput: {
        const int channels = opcode == effGetInputProperties || opcode == effConnectInput
                                 ? instance_.inputs()
                                 : instance_.outputs();
        if (channels <= 0) {
            break;
        }
        index = pickIndex(rng, channels);
        if (opcode == effConnectInput || opcode == effConnectOutput) {
            value = 1;
            instance_.dispatch(opcode, index, value);
        } else {
            ptr = "record";
            verdict = record(opcode, index, 0, 0.0f);
        }
        break;
    }
    case effCanDo: {
        const char* question =
            kCanDo[rng.between(0, static_cast<std::int64_t>(std::size(kCanDo)) - 1)];
        ptr = "text";
        verdict = record(opcode, 0, 0, 0.0f, question);
        if (described != nullptr) {
            *described = std::string("effCanDo '") + question + "'";
        }
        return verdict;
    }
    case effGetSpeakerArrangement: {
        // Both point at the host's pointer variables.
        second_.fill(0);
        ptr = "record";
        value = reinterpret_cast<VstIntPtr>(second_.data());
        verdict = record(opcode, 0, value, 0.0f);
        value = 1;  // described as a pointer
        break;
    }
    case effSetProcessPrecision:
        instance_.dispatch(opcode, 0, 0);  // 32-bit float
        break;
    case effProcessEvents:
        ptr = "record";
        verdict = record(opcode, 0, 0, 0.0f);  // no events
        break;
    case effGetChunk:
        index = static_cast<VstInt32>(rng.between(0, 1));
        ptr = "record";
        verdict = chunkRoundTrip(index);
        if (described != nullptr) {
            *described = "effGetChunk, then effSetChunk with its answer (index " +
                         std::to_string(index) + ")";
        }
        return verdict;
    case effEditGetRect:
        ptr = "record";
        verdict = record(opcode, 0, 0, 0.0f);  // the plug-in writes an ERect pointer
        break;
    default:
        instance_.dispatch(opcode, 0, 0);
        break;
    }
    if (described != nullptr) {
        *described = callText(opcode, index, value, ptr, 0.0f);
    }
    return verdict;
}

CallVerdict OpcodeCaller::hostile(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt,
                                  bool nullPointer, Rng& rng) {
    const bool pointerInValue =
        opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement;
    if (nullPointer) {
        // Value too is a pointer for some opcodes: keep it null then.
        if (pointerInValue || opcode == effSetChunk) {
            value = 0;
        }
        instance_.dispatch(opcode, index, value, nullptr, opt);
        return {};
    }
    const std::size_t nominal = nominalTextLimit(opcode);
    if (nominal > 0) {
        return text(opcode, index, value, opt, nominal,
                    isParameterText(opcode) ? declaredLimit_ : 0);
    }
    switch (opcode) {
    case effSetProgramName:
        return record(opcode, index, value, opt, "Validator program");
    case effString2Parameter:
        return record(opcode, index, value, opt, "0.5");
    case effCanDo:
        return record(opcode, index, value, opt, "receiveVstTimeInfo");
    case effSetChunk:
        // A size within the buffer handed over.
        return record(
            opcode, index,
            static_cast<VstIntPtr>(rng.between(0, static_cast<std::int64_t>(kRecordBuffer))), opt);
    case effOfflineNotify:
    case effOfflinePrepare:
    case effOfflineRun:
        return record(opcode, index, rng.between(0, 1), opt);
    default:
        break;
    }
    if (pointerInValue) {
        second_.fill(0);
        value = rng.chance(0.5) ? reinterpret_cast<VstIntPtr>(second_.data()) : 0;
    }
    return record(opcode, index, value, opt);
}

}  // namespace validate
