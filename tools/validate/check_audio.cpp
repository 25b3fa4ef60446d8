// Audio: the sample rates, block sizes and time information hosts use, the
// invariants of every output sample, in-place processing, and the same
// blocks counted for allocation and system calls. Invalid rates, null
// channel arrays and negative frame counts are the hostile check's.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "checks.h"
#include "validate/realtime_counters.h"

namespace validate {

namespace {

constexpr float kUnwritten = 1234.5f;

const std::vector<VstInt32>& blockSizes() {
    static const std::vector<VstInt32> sizes = {0, 1, 2, 3, 64, 100, 512, 1024, 4096, 65536};
    return sizes;
}

std::string rateText(float rate) { return describeFloat(rate) + " Hz"; }

// Processes one block and checks it: samples for frames > 0, untouched
// outputs otherwise.
std::string processAndAudit(TestInstance& instance, AudioBuffers& buffers, VstInt32 frames,
                            double maxGain) {
    buffers.fillOutputs(kUnwritten);
    instance.process(buffers.in(), buffers.out(), frames);
    if (frames > 0) {
        return auditBlock(buffers, static_cast<std::size_t>(frames), maxGain);
    }
    for (int c = 0; c < buffers.outputs(); ++c) {
        for (const float sample : buffers.outChannel(static_cast<std::size_t>(c))) {
            if (std::memcmp(&sample, &kUnwritten, sizeof sample) != 0) {
                return "wrote output " + std::to_string(c) + " for a block of " +
                       std::to_string(frames) + " frames";
            }
        }
    }
    return "";
}

// The grid of rates, block sizes and time variants. Level 10 takes every
// variant for every pair; lower levels rotate through them so that each
// variant still meets many pairs.
template <typename Visit>
void forEachCombination(Context& context, const std::vector<float>& rates,
                        const std::vector<VstInt32>& sizes, Visit&& visit) {
    const auto& variants = timeVariants();
    const int perPair = context.scaled(1, static_cast<int>(variants.size()));
    for (std::size_t r = 0; r < rates.size(); ++r) {
        for (std::size_t b = 0; b < sizes.size(); ++b) {
            for (int j = 0; j < perPair; ++j) {
                const auto v = (r * 7 + b * 3 + static_cast<std::size_t>(j)) % variants.size();
                visit(rates[r], sizes[b], variants[v]);
            }
        }
    }
}

int gridBlocks(Context& context, const LoadedPlugin& plugin, bool counting) {
    context.step("creating an instance");
    auto instance = TestInstance::create(plugin.entry());
    if (instance == nullptr) {
        context.problem("the entry point returned no effect record");
        return 0;
    }
    instance->open();
    const double maxGain = context.profile().maxGain;
    int blocks = 0;
    int blocksWithCalls = 0;
    bool resumed = false;  // hosts suspend only what they resumed
    std::string firstCalls;
    forEachCombination(
        context, validSampleRates(), blockSizes(),
        [&](float rate, VstInt32 frames, const TimeVariant& variant) {
            const std::string where = rateText(rate) + ", " + std::to_string(frames) +
                                      "-frame blocks, time '" + variant.name + "'";
            context.step(where);
            if (resumed) {
                instance->suspend();
            }
            resumed = true;
            instance->setSampleRate(rate);
            instance->setBlockSize(std::max<VstInt32>(frames, 1));
            instance->resume();
            AudioBuffers buffers(instance->inputs(), instance->outputs(),
                                 static_cast<std::size_t>(std::max<VstInt32>(frames, 1)));
            const int repeats = frames >= 4096 ? 1 : 3;
            double samples = 0.0;
            for (int block = 0; block < repeats; ++block) {
                variant.apply(*instance, context.rng(), block, samples);
                buffers.fillNoise(context.rng());
                const std::uint64_t before = rt::total();
                const std::string bad = processAndAudit(*instance, buffers, frames, maxGain);
                if (counting && rt::total() != before) {
                    ++blocksWithCalls;
                    if (firstCalls.empty()) {
                        firstCalls = where;
                    }
                }
                if (!counting && !bad.empty()) {
                    context.problem(where + ": " + bad);
                }
                samples += frames;
                ++blocks;
            }
        });
    if (counting && blocksWithCalls > 0) {
        context.problem("processReplacing made " + rt::summary() + " in " +
                        std::to_string(blocksWithCalls) + " of " + std::to_string(blocks) +
                        " blocks, first at " + firstCalls);
    }
    return blocks;
}

// Random block lengths, with the rate changed now and then without a
// suspend, as some hosts do.
int varyingBlocks(Context& context, const LoadedPlugin& plugin) {
    constexpr VstInt32 kMaxFrames = 4096;
    auto instance = startedInstance(context, plugin, 44100.0f, kMaxFrames);
    if (instance == nullptr) {
        return 0;
    }
    AudioBuffers buffers(instance->inputs(), instance->outputs(), kMaxFrames);
    const auto& variants = timeVariants();
    const auto rates = validSampleRates();
    const int count = context.scaled(100, 2000);
    double samples = 0.0;
    for (int block = 0; block < count; ++block) {
        if (context.rng().chance(0.05)) {
            instance->setSampleRate(context.rng().pick(rates));
        }
        const VstInt32 frames = static_cast<VstInt32>(context.rng().between(1, kMaxFrames));
        const TimeVariant& variant =
            variants[static_cast<std::size_t>(block / 10) % variants.size()];
        variant.apply(*instance, context.rng(), block, samples);
        buffers.fillNoise(context.rng());
        context.step("varying block " + std::to_string(block) + " of " + std::to_string(frames) +
                     " frames, time '" + variant.name + "'");
        const std::string bad =
            processAndAudit(*instance, buffers, frames, context.profile().maxGain);
        if (!bad.empty()) {
            context.problem("varying block " + std::to_string(block) + " (" +
                            std::to_string(frames) + " frames, time '" + variant.name +
                            "'): " + bad);
        }
        samples += frames;
    }
    context.step("a block of 0 frames");
    const std::string bad = processAndAudit(*instance, buffers, 0, 0.0);
    if (!bad.empty()) {
        context.problem(bad);
    }
    return count;
}

// Two instances with the same settings, fed the same blocks interleaved:
// the first through separate buffers, the second in place or (as a control)
// through separate buffers too. Answers the first difference, or "". In
// place, as hosts do it: each output that has an input of the same number
// shares that input's buffer; the other channels keep their own. The pointer
// arrays have one entry per declared input and output.
std::string runPair(Context& context, const LoadedPlugin& plugin, bool secondInPlace, int count) {
    constexpr VstInt32 kMaxFrames = 2048;
    Rng rng(context.seedFor(10));
    auto separate = startedInstance(context, plugin, 48000.0f, kMaxFrames);
    auto shared = startedInstance(context, plugin, 48000.0f, kMaxFrames);
    if (separate == nullptr || shared == nullptr) {
        return "";
    }
    for (int p = 0; p < separate->params(); ++p) {
        const auto value = static_cast<float>(rng.uniform());
        separate->setParameter(p, value);
        shared->setParameter(p, value);
    }
    const int inputs = separate->inputs();
    const int outputs = separate->outputs();
    AudioBuffers buffers(inputs, outputs, kMaxFrames);
    AudioBuffers sharedBuffers(inputs, outputs, kMaxFrames);
    std::vector<float*> sharedOut(sharedBuffers.out(), sharedBuffers.out() + outputs + 1);
    if (secondInPlace) {
        for (int c = 0; c < std::min(inputs, outputs); ++c) {
            sharedOut[static_cast<std::size_t>(c)] = sharedBuffers.in()[c];
        }
    }
    double samples = 0.0;
    for (int block = 0; block < count; ++block) {
        const auto frames = static_cast<VstInt32>(rng.between(1, kMaxFrames));
        context.step(std::string(secondInPlace ? "in-place" : "control") + " block " +
                     std::to_string(block) + " (" + std::to_string(inputs) + " in, " +
                     std::to_string(outputs) + " out)");
        buffers.fillNoise(rng);
        for (int c = 0; c < inputs; ++c) {
            sharedBuffers.inChannel(static_cast<std::size_t>(c)) =
                buffers.inChannel(static_cast<std::size_t>(c));
        }
        for (TestInstance* instance : {separate.get(), shared.get()}) {
            timeVariants().front().apply(*instance, rng, block, samples);
        }
        separate->process(buffers.in(), buffers.out(), frames);
        shared->process(sharedBuffers.in(), sharedOut.data(), frames);
        for (int c = 0; c < outputs; ++c) {
            const float* a = buffers.out()[c];
            const float* b = sharedOut[static_cast<std::size_t>(c)];
            for (VstInt32 i = 0; i < frames; ++i) {
                if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
                    return "block " + std::to_string(block) + " differs at output " +
                           std::to_string(c) + " frame " + std::to_string(i) + ": " +
                           describeFloat(b[i]) + (secondInPlace ? " in place" : "") + " vs " +
                           describeFloat(a[i]);
                }
            }
        }
        samples += frames;
    }
    return "";
}

// In place must agree bit for bit with separate buffers. When it does not,
// the same run with both instances on separate buffers tells an in-place
// fault from instances that disturb each other (which lifecycle reports).
int inPlace(Context& context, const LoadedPlugin& plugin) {
    const int count = context.scaled(20, 200);
    const std::string inPlaceDifference = runPair(context, plugin, true, count);
    if (inPlaceDifference.empty()) {
        return count;
    }
    const std::string controlDifference = runPair(context, plugin, false, count);
    if (controlDifference.empty()) {
        context.problem("in-place " + inPlaceDifference);
    } else {
        context.warning("in place not judged: two instances on separate buffers differ too (" +
                        controlDifference + "); see lifecycle");
    }
    return count;
}

void doublePrecision(Context& context, const LoadedPlugin& plugin) {
    constexpr VstInt32 kFrames = 512;
    auto instance = TestInstance::create(plugin.entry());
    if (instance == nullptr || (instance->record()->flags & effFlagsCanDoubleReplacing) == 0) {
        return;
    }
    instance->start(44100.0f, kFrames);
    std::vector<std::vector<double>> in(static_cast<std::size_t>(instance->inputs()),
                                        std::vector<double>(kFrames));
    std::vector<std::vector<double>> out(static_cast<std::size_t>(instance->outputs()),
                                         std::vector<double>(kFrames));
    std::vector<double*> inPointers;
    std::vector<double*> outPointers;
    for (auto& channel : in) {
        for (double& sample : channel) {
            sample = context.rng().uniform(-1.0, 1.0);
        }
        inPointers.push_back(channel.data());
    }
    for (auto& channel : out) {
        outPointers.push_back(channel.data());
    }
    context.step("processDoubleReplacing");
    instance->record()->processDoubleReplacing(instance->record(), inPointers.data(),
                                               outPointers.data(), kFrames);
    for (std::size_t c = 0; c < out.size(); ++c) {
        for (const double sample : out[c]) {
            if (!std::isfinite(sample) || std::fpclassify(sample) == FP_SUBNORMAL) {
                context.problem("processDoubleReplacing wrote " + describeDouble(sample) +
                                " to output " + std::to_string(c));
                return;
            }
        }
    }
}

}  // namespace

void checkAudio(Context& context, const LoadedPlugin& plugin) {
    const int grid = gridBlocks(context, plugin, false);
    const int varying = varyingBlocks(context, plugin);
    const int shared = inPlace(context, plugin);
    doublePrecision(context, plugin);
    const double maxGain = context.profile().maxGain;
    context.tried(
        std::to_string(grid) + " blocks over " + std::to_string(validSampleRates().size()) +
        " rates x " + std::to_string(blockSizes().size()) + " block sizes x time variants, " +
        std::to_string(varying) + " varying, " + std::to_string(shared) + " in place; " +
        (maxGain > 0.0
             ? "gain bound " + describeDouble(maxGain) + " (" + context.profile().source + ")"
             : std::string("no gain bound declared")));
}

void checkRealtime(Context& context, const LoadedPlugin& plugin) {
    if (!rt::available()) {
        context.skip(rt::unavailableReason());
        return;
    }
    rt::reset();
    const int blocks = gridBlocks(context, plugin, true);
    context.tried(std::to_string(blocks) +
                  " blocks counted for malloc, new, free, locks, sleeps, "
                  "file and system calls");
}

}  // namespace validate
