// Threads: parameters set and texts read on one thread while another
// processes; the outputs keep their invariants throughout.
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "tools/validate/checks.h"

namespace validate {

void checkThreads(Context& context, const LoadedPlugin& plugin) {
    constexpr VstInt32 kFrames = 256;
    auto instance = TestInstance::create(plugin.entry());
    instance->start(44100.0f, kFrames);
    const VstInt32 count = instance->params();
    const auto limit = static_cast<std::size_t>(context.profile().parameterTextLimit);
    const int blocks = context.scaled(500, 8000);
    std::atomic<bool> done{false};
    std::atomic<long> changes{0};
    Rng editorRng(context.rng().next());

    // The host's user-interface thread.
    std::thread editor([&] {
        const std::vector<float> edges = edgeFloats();
        GuardedBuffer text(kHostTextBuffer);
        while (!done.load(std::memory_order_relaxed)) {
            const VstInt32 index = editorRng.chance(0.9) && count > 0
                                       ? static_cast<VstInt32>(editorRng.between(0, count - 1))
                                       : count;
            const float value = editorRng.chance(0.8) ? static_cast<float>(editorRng.uniform())
                                                      : editorRng.pick(edges);
            instance->setParameter(index, value);
            const float back = instance->getParameter(index);
            if (!(back >= 0.0f && back <= 1.0f)) {
                context.problem("getParameter(" + std::to_string(index) +
                                ") = " + describeFloat(back) + " during processing, outside 0..1");
            }
            for (const VstInt32 opcode : {effGetParamDisplay, effGetParamName, effGetParamLabel}) {
                const TextProbe probe = probeText(text, limit, [&](char* buffer) {
                    instance->dispatch(opcode, index, 0, buffer);
                });
                const std::string verdict = judgeText(probe, limit);
                if (!verdict.empty()) {
                    context.problem("parameter " + std::to_string(index) +
                                    " text during processing: " + verdict);
                }
            }
            changes.fetch_add(1, std::memory_order_relaxed);
        }
    });

    // The audio thread.
    AudioBuffers buffers(instance->inputs(), instance->outputs(), kFrames);
    double samples = 0.0;
    int reported = 0;
    // Process at least `blocks` blocks, and go on until the other thread has
    // made enough changes to overlap with processing even on a busy machine
    // (within a few seconds).
    const long minimumChanges = context.scaled(2000, 20000);
    const auto started = std::chrono::steady_clock::now();
    auto keepGoing = [&](int block) {
        if (block < blocks) {
            return true;
        }
        return changes.load(std::memory_order_relaxed) < minimumChanges &&
               std::chrono::steady_clock::now() - started < std::chrono::seconds(5);
    };
    int block = 0;
    for (; keepGoing(block); ++block) {
        if (block % 1000 == 0) {
            context.step("block " + std::to_string(block) + " of " + std::to_string(blocks) +
                         " while parameters change");
        }
        timeVariants().front().apply(*instance, context.rng(), block, samples);
        buffers.fillNoise(context.rng());
        instance->process(buffers.in(), buffers.out(), kFrames);
        const std::string bad = auditBlock(buffers, kFrames, context.profile().maxGain);
        if (!bad.empty() && reported++ < 5) {
            context.problem("block " + std::to_string(block) + " while parameters change: " + bad);
        }
        samples += kFrames;
    }
    done.store(true);
    editor.join();
    context.tried(std::to_string(block) + " blocks processed while another thread made " +
                  std::to_string(changes.load()) + " parameter changes with read-backs and texts");
}

}  // namespace validate
