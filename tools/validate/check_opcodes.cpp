// Opcodes: every opcode hosts send in their ordinary course, once each and
// then in a random sequence, with the arguments hosts pass; records and texts
// guarded, texts judged by the text itself. Hostile calls are the hostile
// check's.
#include <string>
#include <vector>

#include "checks.h"
#include "host_calls.h"

namespace validate {

std::unique_ptr<TestInstance> startedInstance(Context& context, const LoadedPlugin& plugin,
                                              float rate, VstInt32 maxFrames) {
    context.step("creating an instance");
    auto instance = TestInstance::create(plugin.entry());
    if (instance == nullptr) {
        context.problem("the entry point returned no effect record");
        return nullptr;
    }
    context.step("starting an instance (open, rate, block size, resume)");
    instance->start(rate, maxFrames);
    return instance;
}

void processAfterwards(Context& context, TestInstance& instance, const std::string& after) {
    constexpr VstInt32 kFrames = 512;
    context.step("a normal block after " + after);
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

void checkOpcodes(Context& context, const LoadedPlugin& plugin) {
    auto instance = startedInstance(context, plugin, 44100.0f, 1024);
    if (instance == nullptr) {
        return;
    }
    OpcodeCaller caller(*instance, context.profile());
    Rng& rng = context.rng();
    const std::vector<VstInt32> opcodes = caller.realisticOpcodes();
    auto call = [&](VstInt32 opcode) {
        context.step(std::string(opcodeName(opcode)) + " as hosts call it");
        std::string described;
        const CallVerdict verdict = caller.realistic(opcode, rng, &described);
        if (!verdict.failure.empty()) {
            context.problem(verdict.failure);
        }
        if (!verdict.warning.empty()) {
            context.warning(verdict.warning);
        }
    };
    for (const VstInt32 opcode : opcodes) {
        call(opcode);
    }
    const int randomCalls = context.scaled(200, 4000);
    for (int n = 0; n < randomCalls; ++n) {
        call(rng.pick(opcodes));
    }
    processAfterwards(context, *instance, "the opcode calls");
    context.tried(std::to_string(opcodes.size()) + " opcodes hosts send, each once, then " +
                  std::to_string(randomCalls) + " in random order" +
                  (editorCallsAllowed(*instance) ? "" : "; editor calls skipped: no display") +
                  "; parameter texts " +
                  (context.profile().parameterTextLimit > 0
                       ? "limited to " + std::to_string(context.profile().parameterTextLimit) +
                             " (" + context.profile().source + ")"
                       : std::string("judged by the text")));
}

}  // namespace validate
