// Lifecycle: many full create-to-close cycles with resident memory flat,
// instances interleaved against each run alone, repeated resume and suspend.
// Processing before any resume or after suspend is the hostile check's.
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "checks.h"
#include "platform.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __lsan_do_recoverable_leak_check();
#endif

namespace validate {

namespace {

// Resident memory may grow by this much between the end of the warm-up
// (a tenth of the cycles) and the last cycle: room for allocator caches,
// far below what a leak of even a few hundred bytes per instance adds up to
// over thousands of cycles.
constexpr long kResidentBoundKiB = 1024;

// Arbitrary marker the plug-in must overwrite when it processes.
constexpr float kUnwritten = 1234.5f;

std::string cycles(Context& context, const LoadedPlugin& plugin) {
    const int count = context.scaled(300, 5000);
    const int warmUp = count / 10;
    constexpr VstInt32 kFrames = 256;
    long afterWarmUp = 0;
    std::unique_ptr<AudioBuffers> buffers;
    for (int cycle = 0; cycle < count; ++cycle) {
        if (cycle % 500 == 0) {
            context.step("cycle " + std::to_string(cycle) + " of " + std::to_string(count));
        }
        auto instance = TestInstance::create(plugin.entry());
        if (instance == nullptr) {
            context.problem("cycle " + std::to_string(cycle) + ": the entry point returned null");
            return "";
        }
        if (buffers == nullptr) {
            buffers =
                std::make_unique<AudioBuffers>(instance->inputs(), instance->outputs(), kFrames);
            buffers->fillNoise(context.rng());
        }
        instance->start(cycle % 2 == 0 ? 44100.0f : 48000.0f, kFrames);
        instance->process(buffers->in(), buffers->out(), kFrames);
        const std::string bad = auditBlock(*buffers, kFrames, context.profile().maxGain);
        if (!bad.empty()) {
            context.problem("cycle " + std::to_string(cycle) + ": " + bad);
        }
        instance->suspend();
        instance->close();
        if (cycle + 1 == warmUp) {
            afterWarmUp = residentKiB();
        }
    }
    const long growth = residentKiB() - afterWarmUp;
    std::string memory;
    if (allocatorKeepsFreedMemory()) {
#if defined(__SANITIZE_ADDRESS__)
        memory = "leaks left to LeakSanitizer";
        if (__lsan_do_recoverable_leak_check() != 0) {
            context.problem("LeakSanitizer found leaks after " + std::to_string(count) + " cycles");
        }
#else
        memory = "leaks left to the memory checker";
#endif
    } else {
        memory = "resident memory +" + std::to_string(growth) + " KiB after warm-up (bound " +
                 std::to_string(kResidentBoundKiB) + " KiB)";
        if (growth > kResidentBoundKiB) {
            context.problem("resident memory grew by " + std::to_string(growth) + " KiB over " +
                            std::to_string(count - warmUp) + " cycles (bound " +
                            std::to_string(kResidentBoundKiB) + " KiB)");
        }
    }
    return std::to_string(count) + " cycles, " + memory;
}

struct Run {
    float rate;
    std::vector<float> parameters;
    std::vector<VstInt32> blocks;
    std::vector<std::vector<float>> output;  // per output channel, whole run
};

void processBlock(TestInstance& instance, AudioBuffers& buffers, Run& run, int block,
                  double& samplesBefore, std::uint64_t inputSeed) {
    const VstInt32 frames = run.blocks[static_cast<std::size_t>(block)];
    Rng input(inputSeed + static_cast<std::uint64_t>(block));
    buffers.fillNoise(input);
    buffers.fillOutputs(kUnwritten);
    instance.time().ppqPos = samplesBefore / static_cast<double>(run.rate) * 2.0;
    instance.time().tempo = 120.0;
    instance.time().flags = kVstPpqPosValid | kVstTempoValid;
    instance.process(buffers.in(), buffers.out(), frames);
    for (int c = 0; c < buffers.outputs(); ++c) {
        const auto& channel = buffers.outChannel(static_cast<std::size_t>(c));
        run.output[static_cast<std::size_t>(c)].insert(
            run.output[static_cast<std::size_t>(c)].end(), channel.begin(),
            channel.begin() + frames);
    }
    samplesBefore += frames;
}

std::string interleaved(Context& context, const LoadedPlugin& plugin) {
    const int instanceCount = context.scaled(4, 16);
    const int blockCount = context.scaled(8, 40);
    constexpr VstInt32 kMaxFrames = 1024;
    const std::vector<float> rates = {44100.0f, 48000.0f, 96000.0f, 22050.0f};
    context.step("interleaving " + std::to_string(instanceCount) + " instances");

    std::vector<std::unique_ptr<TestInstance>> instances;
    std::vector<Run> runs;
    for (int n = 0; n < instanceCount; ++n) {
        auto instance = TestInstance::create(plugin.entry());
        if (instance == nullptr) {
            context.problem("instance " + std::to_string(n) + ": the entry point returned null");
            return "";
        }
        Run run;
        run.rate = context.rng().pick(rates);
        for (int p = 0; p < instance->params(); ++p) {
            run.parameters.push_back(static_cast<float>(context.rng().uniform()));
        }
        for (int b = 0; b < blockCount; ++b) {
            run.blocks.push_back(static_cast<VstInt32>(context.rng().between(1, kMaxFrames)));
        }
        run.output.resize(static_cast<std::size_t>(std::max(instance->outputs(), 0)));
        instance->start(run.rate, kMaxFrames);
        for (int p = 0; p < instance->params(); ++p) {
            instance->setParameter(p, run.parameters[static_cast<std::size_t>(p)]);
        }
        instances.push_back(std::move(instance));
        runs.push_back(std::move(run));
    }
    const int inputs = instances.front()->inputs();
    const int outputs = instances.front()->outputs();
    AudioBuffers buffers(inputs, outputs, kMaxFrames);
    std::vector<double> positions(static_cast<std::size_t>(instanceCount), 0.0);
    const std::uint64_t inputSeed = context.rng().next();
    for (int b = 0; b < blockCount; ++b) {
        for (int n = 0; n < instanceCount; ++n) {
            const auto i = static_cast<std::size_t>(n);
            processBlock(*instances[i], buffers, runs[i], b, positions[i], inputSeed + i * 100000);
        }
    }
    instances.clear();

    for (int n = 0; n < instanceCount; ++n) {
        const auto i = static_cast<std::size_t>(n);
        auto alone = TestInstance::create(plugin.entry());
        if (alone == nullptr) {
            context.problem("instance " + std::to_string(n) +
                            " alone: the entry point returned null");
            return "";
        }
        Run solo = runs[i];
        for (auto& channel : solo.output) {
            channel.clear();
        }
        alone->start(solo.rate, kMaxFrames);
        for (int p = 0; p < alone->params(); ++p) {
            alone->setParameter(p, solo.parameters[static_cast<std::size_t>(p)]);
        }
        double position = 0.0;
        for (int b = 0; b < blockCount; ++b) {
            processBlock(*alone, buffers, solo, b, position, inputSeed + i * 100000);
        }
        for (std::size_t c = 0; c < solo.output.size(); ++c) {
            const auto& together = runs[i].output[c];
            const auto& single = solo.output[c];
            for (std::size_t f = 0; f < single.size(); ++f) {
                if (std::memcmp(&together[f], &single[f], sizeof(float)) != 0) {
                    context.problem("instance " + std::to_string(n) + " interleaved with " +
                                    std::to_string(instanceCount - 1) +
                                    " others differs from it alone at output " + std::to_string(c) +
                                    " frame " + std::to_string(f) + ": " +
                                    describeFloat(together[f]) + " vs " + describeFloat(single[f]));
                    break;
                }
            }
        }
    }
    return std::to_string(instanceCount) + " instances x " + std::to_string(blockCount) +
           " blocks interleaved vs alone";
}

// Hosts resume twice, suspend twice, and close without a suspend.
void repeatedStateChanges(Context& context, const LoadedPlugin& plugin) {
    constexpr VstInt32 kFrames = 512;
    auto instance = startedInstance(context, plugin, 44100.0f, kFrames);
    if (instance == nullptr) {
        return;
    }
    AudioBuffers buffers(instance->inputs(), instance->outputs(), kFrames);
    buffers.fillNoise(context.rng());
    context.step("resume twice, suspend twice, resume, process, close without a suspend");
    instance->resume();
    instance->suspend();
    instance->suspend();
    instance->resume();
    instance->process(buffers.in(), buffers.out(), kFrames);
    const std::string bad = auditBlock(buffers, kFrames, context.profile().maxGain);
    if (!bad.empty()) {
        context.problem("a block after repeated resume and suspend: " + bad);
    }
    instance->close();
}

}  // namespace

void checkLifecycle(Context& context, const LoadedPlugin& plugin) {
    repeatedStateChanges(context, plugin);
    const std::string together = interleaved(context, plugin);
    const std::string repeated = cycles(context, plugin);
    context.tried(repeated + "; " + together + "; repeated resume and suspend");
}

}  // namespace validate
