// Threads: valid parameter values set, read back and shown on one thread
// (a host's user interface) while another processes (its audio thread); the
// outputs keep their invariants throughout. Invalid values are the
// parameters and hostile checks' business: here a NaN in the output can
// only come from the race itself.
//
// Each thread's calls and values replay from the seed; how the two threads
// interleave is up to the scheduler, so this check alone does not replay
// exactly.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "checks.h"

namespace validate {

void checkThreads(Context& context, const LoadedPlugin& plugin) {
    constexpr VstInt32 kFrames = 256;
    auto instance = startedInstance(context, plugin, 44100.0f, kFrames);
    if (instance == nullptr) {
        return;
    }
    const VstInt32 count = instance->params();
    const auto declared =
        static_cast<std::size_t>(std::max(context.profile().parameterTextLimit, 0));
    // The audio thread processes at least this many blocks, and goes on
    // until the other thread has made all its changes.
    const int minimumBlocks = context.scaled(500, 8000);
    const int changes = count > 0 ? context.scaled(2000, 20000) : 0;
    std::atomic<bool> started{false};
    std::atomic<int> made{0};
    Rng editorRng(context.seedFor(1));

    // The host's user-interface thread.
    std::thread editor([&] {
        vsthost::GuardedBuffer text(kHostTextBuffer);
        started.store(true);
        for (int n = 0; n < changes; ++n) {
            const auto index = static_cast<VstInt32>(editorRng.between(0, count - 1));
            const auto value = static_cast<float>(editorRng.uniform());
            instance->setParameter(index, value);
            const float back = instance->getParameter(index);
            if (!(back >= 0.0f && back <= 1.0f)) {
                context.problem("getParameter(" + std::to_string(index) +
                                ") = " + describeFloat(back) + " after setParameter(" +
                                std::to_string(index) + ", " + describeFloat(value) +
                                ") during processing, outside 0..1");
            }
            for (const VstInt32 opcode : {effGetParamDisplay, effGetParamName, effGetParamLabel}) {
                const TextProbe probe = probeText(
                    text, [&](char* buffer) { instance->dispatch(opcode, index, 0, buffer); });
                const TextVerdict verdict = judgeText(probe, kVstMaxParamStrLen, declared);
                if (!verdict.failure.empty()) {
                    context.problem("parameter " + std::to_string(index) +
                                    " text during processing: " + verdict.failure);
                }
            }
            made.store(n + 1, std::memory_order_relaxed);
        }
    });
    while (!started.load()) {
        std::this_thread::yield();
    }

    // The audio thread.
    AudioBuffers buffers(instance->inputs(), instance->outputs(), kFrames);
    Rng audioRng(context.seedFor(2));
    double samples = 0.0;
    int reported = 0;
    int block = 0;
    for (; block < minimumBlocks || made.load(std::memory_order_relaxed) < changes; ++block) {
        if (block % 1000 == 0) {
            context.step("block " + std::to_string(block) + " (at least " +
                         std::to_string(minimumBlocks) + ") while the other thread makes change " +
                         std::to_string(made.load(std::memory_order_relaxed)) + " of " +
                         std::to_string(changes));
        }
        timeVariants().front().apply(*instance, audioRng, block, samples);
        buffers.fillNoise(audioRng);
        instance->process(buffers.in(), buffers.out(), kFrames);
        const std::string bad = auditBlock(buffers, kFrames, context.profile().maxGain);
        if (!bad.empty() && reported++ < 5) {
            context.problem("block " + std::to_string(block) + " while parameters change: " + bad);
        }
        samples += kFrames;
    }
    editor.join();
    context.tried(std::to_string(changes) + " valid parameter changes with read-backs and texts " +
                  "on one thread while another processed " + std::to_string(block) +
                  " blocks (at least " + std::to_string(minimumBlocks) + ")");
}

}  // namespace validate
