// Opcodes and parameters: every dispatcher opcode with null and guarded
// pointers and hostile numbers, every parameter index with hostile values,
// and every text the plug-in writes held to its limit.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tools/validate/checks.h"

namespace validate {

namespace {

constexpr VstInt32 kLastSweptOpcode = 90;
// Limits the interface documents for texts outside vst_opcodes.h.
constexpr std::size_t kProgramNameLimit = 24;
constexpr std::size_t kErrorTextLimit = 255;
constexpr std::size_t kShellNameLimit = 63;
// Records the plug-in may write through ptr or value: hosts pass buffers of
// the record's size; this is larger than any record of the interface.
constexpr std::size_t kRecordBuffer = 1024;

enum class Argument {
    Plain,       // no pointer is read
    TextOut,     // ptr: a text buffer the plug-in writes, with a limit
    TextIn,      // ptr: a zero-terminated text the plug-in reads
    RecordPtr,   // ptr: a record (zero-filled)
    RecordBoth,  // ptr and value: records (speaker arrangements)
    ChunkIn,     // ptr: chunk data, value: its byte count
    CountedPtr,  // ptr: records, value: how many (offline tasks, files)
};

struct OpcodeRule {
    Argument argument = Argument::Plain;
    std::size_t limit = 0;  // TextOut
    const char* text = "";  // TextIn
};

OpcodeRule ruleFor(VstInt32 opcode, std::size_t parameterTextLimit) {
    switch (opcode) {
    case effGetProgramName:
    case effGetProgramNameIndexed:
        return {Argument::TextOut, kProgramNameLimit};
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        return {Argument::TextOut, parameterTextLimit};
    case effGetEffectName:
        return {Argument::TextOut, kVstMaxEffectNameLen};
    case effGetVendorString:
        return {Argument::TextOut, kVstMaxVendorStrLen};
    case effGetProductString:
        return {Argument::TextOut, kVstMaxProductStrLen};
    case effGetErrorText:
        return {Argument::TextOut, kErrorTextLimit};
    case effShellGetNextPlugin:
        return {Argument::TextOut, kShellNameLimit};
    case effSetProgramName:
        return {Argument::TextIn, 0, "Validator program"};
    case effString2Parameter:
        return {Argument::TextIn, 0, "0.5"};
    case effCanDo:
        return {Argument::TextIn, 0, "receiveVstTimeInfo"};
    case effSetSpeakerArrangement:
    case effGetSpeakerArrangement:
        return {Argument::RecordBoth};
    case effSetChunk:
        return {Argument::ChunkIn};
    case effOfflineNotify:
    case effOfflinePrepare:
    case effOfflineRun:
        return {Argument::CountedPtr};
    default:
        return {Argument::RecordPtr};
    }
}

const char* opcodeName(VstInt32 opcode);

std::string callText(VstInt32 opcode, VstInt32 index, VstIntPtr value, const char* ptr, float opt) {
    return "opcode " + std::to_string(opcode) + " (" + opcodeName(opcode) + ") index " +
           std::to_string(index) + " value " + std::to_string(value) + " ptr " + ptr + " opt " +
           describeFloat(opt);
}

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

// Opcodes the sweeps leave out: open and close belong to the lifecycle, and
// opening an editor needs a real window.
bool sweepSkips(VstInt32 opcode, const AEffect& record) {
    return opcode == effOpen || opcode == effClose ||
           (opcode == effEditOpen && (record.flags & effFlagsHasEditor) != 0);
}

VstInt32 randomIndex(Rng& rng) {
    switch (rng.between(0, 5)) {
    case 0:
        return 0;
    case 1:
        return -1;
    case 2:
        return std::numeric_limits<VstInt32>::min();
    case 3:
        return std::numeric_limits<VstInt32>::max();
    case 4:
        return static_cast<VstInt32>(rng.between(0, 16));
    default:
        return static_cast<VstInt32>(static_cast<std::int64_t>(rng.next()));
    }
}

VstIntPtr randomValue(Rng& rng) {
    switch (rng.between(0, 4)) {
    case 0:
        return 0;
    case 1:
        return 1;
    case 2:
        return -1;
    case 3:
        return static_cast<VstIntPtr>(rng.between(-100000, 100000));
    default:
        return static_cast<VstIntPtr>(rng.next());
    }
}

float randomOpt(Rng& rng) {
    static const std::vector<float> edges = edgeFloats();
    return rng.chance(0.5) ? rng.pick(edges) : static_cast<float>(rng.uniform(-2.0, 2.0));
}

// Calls one opcode the way its rule allows; returns a problem or "".
class OpcodeCaller {
public:
    OpcodeCaller(TestInstance& instance, const Profile& profile)
        : instance_(instance), limit_(static_cast<std::size_t>(profile.parameterTextLimit)) {}

    std::string call(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt, bool nullPointer,
                     Rng& rng) {
        if (nullPointer) {
            // Value too may be a pointer for some opcodes: keep it null then.
            const OpcodeRule rule = ruleFor(opcode, limit_);
            if (rule.argument == Argument::RecordBoth || rule.argument == Argument::ChunkIn ||
                rule.argument == Argument::CountedPtr) {
                value = 0;
            }
            instance_.dispatch(opcode, index, value, nullptr, opt);
            return "";
        }
        const OpcodeRule rule = ruleFor(opcode, limit_);
        switch (rule.argument) {
        case Argument::TextOut: {
            const TextProbe probe = probeText(text_, rule.limit, [&](char* buffer) {
                instance_.dispatch(opcode, index, value, buffer, opt);
            });
            const std::string verdict = judgeText(probe, rule.limit);
            return verdict.empty() ? ""
                                   : callText(opcode, index, value, "text", opt) + ": " + verdict;
        }
        case Argument::TextIn:
            record_.fill(0);
            std::memcpy(record_.data(), rule.text, std::strlen(rule.text) + 1);
            return checked(opcode, index, value, opt);
        case Argument::RecordBoth:
            second_.fill(0);
            return checked(opcode, index,
                           rng.chance(0.5) ? reinterpret_cast<VstIntPtr>(second_.data()) : 0, opt);
        case Argument::ChunkIn:
            return checked(
                opcode, index,
                static_cast<VstIntPtr>(rng.between(0, static_cast<std::int64_t>(kRecordBuffer))),
                opt);
        case Argument::CountedPtr:
            return checked(opcode, index, rng.between(0, 1), opt);
        case Argument::RecordPtr:
        case Argument::Plain:
            break;
        }
        return checked(opcode, index, value, opt);
    }

private:
    std::string checked(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt) {
        if (ruleFor(opcode, limit_).argument != Argument::TextIn) {
            record_.fill(0);
        }
        record_.resetCanaries();
        second_.resetCanaries();
        instance_.dispatch(opcode, index, value, record_.data(), opt);
        std::ptrdiff_t damaged = 0;
        if (!record_.canariesIntact(&damaged) || !second_.canariesIntact(&damaged)) {
            return callText(opcode, index, value, "record", opt) + ": wrote outside a " +
                   std::to_string(kRecordBuffer) + "-byte record buffer at offset " +
                   std::to_string(damaged);
        }
        return "";
    }

    TestInstance& instance_;
    std::size_t limit_;
    GuardedBuffer text_{kHostTextBuffer};
    GuardedBuffer record_{kRecordBuffer};
    GuardedBuffer second_{kRecordBuffer};
};

// After hostile calls the instance must still process a normal block.
void processAfterwards(Context& context, TestInstance& instance, const std::string& after) {
    constexpr VstInt32 kFrames = 512;
    instance.suspend();
    instance.setSampleRate(44100.0f);
    instance.setBlockSize(kFrames);
    instance.resume();
    AudioBuffers buffers(instance.inputs(), instance.outputs(), kFrames);
    buffers.fillNoise(context.rng());
    instance.process(buffers.in(), buffers.out(), kFrames);
    const std::string bad = auditBlock(buffers, kFrames, 0.0);
    if (!bad.empty()) {
        context.problem("a normal block after " + after + ": " + bad);
    }
}

}  // namespace

void checkOpcodes(Context& context, const LoadedPlugin& plugin) {
    auto instance = TestInstance::create(plugin.entry());
    instance->start(44100.0f, 1024);
    OpcodeCaller caller(*instance, context.profile());
    Rng& rng = context.rng();
    int calls = 0;

    for (VstInt32 opcode = 0; opcode <= kLastSweptOpcode; ++opcode) {
        if (sweepSkips(opcode, *instance->record())) {
            continue;
        }
        context.step("opcode " + std::to_string(opcode) + " (" + opcodeName(opcode) +
                     ") with a null pointer");
        caller.call(opcode, 0, 0, 0.0f, true, rng);
        context.step("opcode " + std::to_string(opcode) + " (" + opcodeName(opcode) +
                     ") with a guarded buffer");
        const std::string problem = caller.call(opcode, 0, 0, 0.0f, false, rng);
        if (!problem.empty()) {
            context.problem(problem);
        }
        calls += 2;
    }

    const int randomCalls = context.scaled(500, 10000);
    for (int n = 0; n < randomCalls; ++n) {
        VstInt32 opcode = rng.chance(0.8)
                              ? static_cast<VstInt32>(rng.between(2, kLastSweptOpcode))
                              : static_cast<VstInt32>(static_cast<std::int64_t>(rng.next()));
        if (sweepSkips(opcode, *instance->record())) {
            opcode = effGetVstVersion;
        }
        const VstInt32 index = randomIndex(rng);
        const VstIntPtr value = randomValue(rng);
        const float opt = randomOpt(rng);
        const bool nullPointer = rng.chance(0.3);
        context.step(callText(opcode, index, value, nullPointer ? "null" : "buffer", opt));
        const std::string problem = caller.call(opcode, index, value, opt, nullPointer, rng);
        if (!problem.empty()) {
            context.problem(problem);
        }
        ++calls;
    }
    context.step("a normal block after the opcode calls");
    processAfterwards(context, *instance, "the opcode calls");
    context.tried(std::to_string(calls) + " dispatcher calls: opcodes 0.." +
                  std::to_string(kLastSweptOpcode) + " with null and guarded pointers, " +
                  std::to_string(randomCalls) +
                  " random; text limits as documented, parameter texts " +
                  std::to_string(context.profile().parameterTextLimit) + " (" +
                  context.profile().source + ")");
}

void checkParameters(Context& context, const LoadedPlugin& plugin) {
    auto instance = TestInstance::create(plugin.entry());
    instance->start(44100.0f, 1024);
    const VstInt32 count = instance->params();
    const auto limit = static_cast<std::size_t>(context.profile().parameterTextLimit);
    std::vector<VstInt32> indices;
    for (VstInt32 i = 0; i < count; ++i) {
        indices.push_back(i);
    }
    for (const VstInt32 outside : {-1, -2, count, count + 1, std::numeric_limits<VstInt32>::min(),
                                   std::numeric_limits<VstInt32>::max()}) {
        indices.push_back(outside);
    }
    std::vector<float> values = edgeFloats();
    const int randomValues = context.scaled(20, 400);
    for (int n = 0; n < randomValues; ++n) {
        values.push_back(static_cast<float>(context.rng().uniform(-0.25, 1.25)));
    }

    GuardedBuffer text(kHostTextBuffer);
    int sets = 0;
    for (const VstInt32 index : indices) {
        for (const float value : values) {
            context.step("setParameter(" + std::to_string(index) + ", " + describeFloat(value) +
                         ")");
            instance->setParameter(index, value);
            ++sets;
            for (VstInt32 read = 0; read < count; ++read) {
                const float back = instance->getParameter(read);
                if (!(back >= 0.0f && back <= 1.0f)) {
                    context.problem("getParameter(" + std::to_string(read) +
                                    ") = " + describeFloat(back) + " after setParameter(" +
                                    std::to_string(index) + ", " + describeFloat(value) +
                                    "), outside 0..1");
                }
            }
            if (index < 0 || index >= count) {
                const float back = instance->getParameter(index);
                if (!(back >= 0.0f && back <= 1.0f)) {
                    context.problem("getParameter(" + std::to_string(index) +
                                    ") on an index out of range = " + describeFloat(back) +
                                    ", outside 0..1");
                }
            }
            const std::pair<VstInt32, const char*> texts[] = {{effGetParamName, "name"},
                                                              {effGetParamLabel, "label"},
                                                              {effGetParamDisplay, "display"}};
            for (const auto& [opcode, what] : texts) {
                const TextProbe probe = probeText(text, limit, [&](char* buffer) {
                    instance->dispatch(opcode, index, 0, buffer);
                });
                const std::string verdict = judgeText(probe, limit);
                if (!verdict.empty()) {
                    context.problem(std::string("parameter ") + std::to_string(index) + " " + what +
                                    " after setParameter(" + std::to_string(index) + ", " +
                                    describeFloat(value) + "): " + verdict);
                }
            }
        }
    }
    processAfterwards(context, *instance, "the parameter calls");
    context.tried(std::to_string(sets) + " parameter sets on " + std::to_string(indices.size()) +
                  " indices (" + std::to_string(count) + " in range), read-backs and texts up to " +
                  std::to_string(limit) + " characters (" + context.profile().source + ")");
}

}  // namespace validate
