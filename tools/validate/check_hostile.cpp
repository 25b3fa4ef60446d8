// Hostile calls: what no host should send but some plug-ins meet anyway.
// Null pointers to every opcode, random opcodes, indices, values and opt;
// invalid parameter values and indices; invalid sample rates and time
// information; null channel arrays and negative frame counts; processing
// before any resume and after suspend. Reported apart from the realistic
// checks and from level 5 only. Every call is numbered: when one crashes,
// the check's process is started again from the next call, so no crash
// hides the calls after it.
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "checks.h"
#include "host_calls.h"

namespace validate {

namespace {

constexpr float kUnwritten = 1234.5f;
constexpr VstInt32 kFrames = 512;

// The state the calls share: one started instance, made again when a call
// needs a fresh one or after a restart.
struct HostileRun {
    Context& context;
    const LoadedPlugin& plugin;
    std::unique_ptr<TestInstance> instance;
    std::unique_ptr<OpcodeCaller> caller;

    TestInstance* started() {
        if (instance == nullptr) {
            caller.reset();
            instance = startedInstance(context, plugin, 44100.0f, kFrames);
            if (instance != nullptr) {
                caller = std::make_unique<OpcodeCaller>(*instance, context.profile());
            }
        }
        return instance.get();
    }
    void verdict(const std::string& call, const CallVerdict& v) {
        if (!v.failure.empty()) {
            context.problem(v.failure);
        }
        if (!v.warning.empty()) {
            context.warning(v.warning);
        }
        static_cast<void>(call);
    }
};

struct HostileCall {
    std::string what;
    std::function<void(HostileRun&)> run;
};

std::string auditProcessed(TestInstance& instance, AudioBuffers& buffers, VstInt32 frames) {
    buffers.fillOutputs(kUnwritten);
    instance.process(buffers.in(), buffers.out(), frames);
    if (frames > 0) {
        return auditBlock(buffers, static_cast<std::size_t>(frames), 0.0);
    }
    for (int c = 0; c < buffers.outputs(); ++c) {
        for (const float sample : buffers.outChannel(static_cast<std::size_t>(c))) {
            if (sample != kUnwritten) {
                return "wrote output " + std::to_string(c) + " for a block of " +
                       std::to_string(frames) + " frames";
            }
        }
    }
    return "";
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

// Opcodes the hostile calls leave out: open and close belong to the
// lifecycle, opening an editor needs a real window, and editor calls need a
// display when the plug-in has an editor.
bool leftOut(VstInt32 opcode, bool editorAllowed) {
    return opcode == effOpen || opcode == effClose || opcode == effEditOpen ||
           (isEditorOpcode(opcode) && !editorAllowed);
}

// The list of calls: the same for a seed and level, whatever ran before.
std::vector<HostileCall> hostileCalls(Context& context, const AEffect& record, bool editorAllowed) {
    std::vector<HostileCall> calls;
    const VstInt32 params = record.numParams;
    const VstInt32 channels = std::max(record.numInputs, record.numOutputs);

    // Null pointers to every opcode.
    for (VstInt32 opcode = 0; opcode <= 90; ++opcode) {
        if (leftOut(opcode, editorAllowed)) {
            continue;
        }
        calls.push_back({callText(opcode, 0, 0, "null", 0.0f), [opcode](HostileRun& run) {
                             Rng unused(0);
                             run.started();
                             if (run.caller != nullptr) {
                                 run.caller->hostile(opcode, 0, 0, 0.0f, true, unused);
                             }
                         }});
    }
    // Random opcodes, indices, values and opt, with null or guarded pointers.
    Rng& rng = context.rng();
    const int randomCalls = context.scaled(500, 10000);
    for (int n = 0; n < randomCalls; ++n) {
        VstInt32 opcode = rng.chance(0.8)
                              ? static_cast<VstInt32>(rng.between(2, 90))
                              : static_cast<VstInt32>(static_cast<std::int64_t>(rng.next()));
        if (leftOut(opcode, editorAllowed)) {
            opcode = effGetVstVersion;
        }
        const VstInt32 index = randomIndex(rng);
        const VstIntPtr value = randomValue(rng);
        const float opt = randomOpt(rng);
        const bool null = rng.chance(0.3);
        const std::uint64_t seed = rng.next();
        calls.push_back(
            {callText(opcode, index, value, null ? "null" : "buffer", opt), [=](HostileRun& run) {
                 Rng local(seed);
                 if (run.started() != nullptr) {
                     run.verdict("", run.caller->hostile(opcode, index, value, opt, null, local));
                 }
             }});
    }
    // Invalid parameter values on every index, and indices out of range.
    std::vector<VstInt32> indices;
    for (VstInt32 i = 0; i < params; ++i) {
        indices.push_back(i);
    }
    for (const VstInt32 outside : {-1, params, params + 1, std::numeric_limits<VstInt32>::min(),
                                   std::numeric_limits<VstInt32>::max()}) {
        indices.push_back(outside);
    }
    for (const VstInt32 index : indices) {
        for (const float value : edgeFloats()) {
            const std::string set =
                "setParameter(" + std::to_string(index) + ", " + describeFloat(value) + ")";
            calls.push_back({set, [=](HostileRun& run) {
                                 TestInstance* instance = run.started();
                                 if (instance == nullptr) {
                                     return;
                                 }
                                 instance->setParameter(index, value);
                                 for (VstInt32 read = -1; read <= params; ++read) {
                                     const float back = instance->getParameter(read);
                                     if (!(back >= 0.0f && back <= 1.0f)) {
                                         run.context.problem("getParameter(" +
                                                             std::to_string(read) +
                                                             ") = " + describeFloat(back) +
                                                             " after " + set + ", outside 0..1");
                                     }
                                 }
                                 Rng unused(0);
                                 for (const VstInt32 opcode :
                                      {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
                                     run.verdict(set, run.caller->hostile(opcode, index, 0, 0.0f,
                                                                          false, unused));
                                 }
                             }});
        }
    }
    // Invalid sample rates, then a block.
    for (const float rate : invalidSampleRates()) {
        calls.push_back(
            {"effSetSampleRate " + describeFloat(rate) + ", then a block", [=](HostileRun& run) {
                 TestInstance* instance = run.started();
                 if (instance == nullptr) {
                     return;
                 }
                 instance->suspend();
                 instance->setSampleRate(rate);
                 instance->resume();
                 AudioBuffers buffers(instance->inputs(), instance->outputs(), kFrames);
                 buffers.fillNoise(run.context.rng());
                 const std::string bad = auditProcessed(*instance, buffers, kFrames);
                 if (!bad.empty()) {
                     run.context.problem("a block at a sample rate of " + describeFloat(rate) +
                                         ": " + bad);
                 }
                 instance->suspend();
                 instance->setSampleRate(44100.0f);
                 instance->resume();
             }});
    }
    // Invalid time information.
    for (const TimeVariant& variant : hostileTimeVariants()) {
        calls.push_back(
            {std::string("blocks with time '") + variant.name + "'", [&variant](HostileRun& run) {
                 TestInstance* instance = run.started();
                 if (instance == nullptr) {
                     return;
                 }
                 AudioBuffers buffers(instance->inputs(), instance->outputs(), kFrames);
                 for (int block = 0; block < 3; ++block) {
                     variant.apply(*instance, run.context.rng(), block,
                                   block * static_cast<double>(kFrames));
                     buffers.fillNoise(run.context.rng());
                     const std::string bad = auditProcessed(*instance, buffers, kFrames);
                     if (!bad.empty()) {
                         run.context.problem(std::string("time '") + variant.name + "': " + bad);
                         break;
                     }
                 }
                 instance->setTimeAvailable(true);
                 instance->time().flags = kVstPpqPosValid | kVstTempoValid;
                 instance->time().tempo = 120.0;
                 instance->time().ppqPos = 0.0;
             }});
    }
    // Null arrays, arrays of null channels, negative frame counts.
    struct NullCase {
        const char* what;
        bool nullIn;
        bool nullOut;
        bool nullChannels;
    };
    for (const NullCase& c : {NullCase{"null input and output arrays", true, true, false},
                              NullCase{"a null output array", false, true, false},
                              NullCase{"a null input array", true, false, false},
                              NullCase{"arrays of null channels", false, false, true}}) {
        calls.push_back(
            {std::string("processReplacing with ") + c.what, [c, channels](HostileRun& run) {
                 TestInstance* instance = run.started();
                 if (instance == nullptr) {
                     return;
                 }
                 AudioBuffers buffers(instance->inputs(), instance->outputs(), kFrames);
                 std::vector<float*> nulls(static_cast<std::size_t>(channels) + 1, nullptr);
                 float** in = c.nullIn ? nullptr : c.nullChannels ? nulls.data() : buffers.in();
                 float** out = c.nullOut ? nullptr : c.nullChannels ? nulls.data() : buffers.out();
                 instance->process(in, out, kFrames);
             }});
    }
    for (const VstInt32 frames : {-1, -512, std::numeric_limits<VstInt32>::min()}) {
        calls.push_back({"processReplacing of " + std::to_string(frames) + " frames",
                         [frames](HostileRun& run) {
                             TestInstance* instance = run.started();
                             if (instance == nullptr) {
                                 return;
                             }
                             AudioBuffers buffers(instance->inputs(), instance->outputs(), kFrames);
                             buffers.fillNoise(run.context.rng());
                             const std::string bad = auditProcessed(*instance, buffers, frames);
                             if (!bad.empty()) {
                                 run.context.problem(bad);
                             }
                         }});
    }
    // Processing before any resume and after suspend, on fresh instances.
    for (const bool everResumed : {false, true}) {
        for (const VstInt32 frames : {1, 64, kFrames}) {
            const std::string when = everResumed ? "after suspend" : "before any resume";
            calls.push_back({"processReplacing of " + std::to_string(frames) + " frames " + when,
                             [=](HostileRun& run) {
                                 auto fresh = TestInstance::create(run.plugin.entry());
                                 if (fresh == nullptr) {
                                     return;
                                 }
                                 fresh->open();
                                 if (everResumed) {
                                     fresh->setSampleRate(44100.0f);
                                     fresh->setBlockSize(kFrames);
                                     fresh->resume();
                                     fresh->suspend();
                                 }
                                 AudioBuffers buffers(fresh->inputs(), fresh->outputs(), kFrames);
                                 buffers.fillNoise(run.context.rng());
                                 const std::string bad = auditProcessed(*fresh, buffers, frames);
                                 if (!bad.empty()) {
                                     run.context.problem(std::to_string(frames) + " frames " +
                                                         when + ": " + bad);
                                 }
                             }});
        }
    }
    return calls;
}

}  // namespace

void checkHostile(Context& context, const LoadedPlugin& plugin) {
    HostileRun run{context, plugin, nullptr, nullptr};
    if (run.started() == nullptr) {
        return;
    }
    const bool editorAllowed = editorCallsAllowed(*run.instance);
    const std::vector<HostileCall> calls =
        hostileCalls(context, *run.instance->record(), editorAllowed);
    const int first = context.options().resumeAt;
    for (int n = first; n < static_cast<int>(calls.size()); ++n) {
        context.hostileCall(n, calls[static_cast<std::size_t>(n)].what);
        calls[static_cast<std::size_t>(n)].run(run);
    }
    context.hostileCall(static_cast<int>(calls.size()), "a normal block after the hostile calls");
    if (run.started() != nullptr) {
        processAfterwards(context, *run.instance, "the hostile calls");
    }
    context.tried(std::to_string(calls.size()) +
                  " hostile calls: null pointers to every opcode, random opcodes and arguments, "
                  "invalid parameter values and indices, invalid rates and time information, "
                  "null channel arrays, negative frame counts, processing while suspended" +
                  (editorAllowed ? "" : "; editor calls skipped: no display"));
}

}  // namespace validate
