// Audio: sample rates x block sizes x time information, the invariants of
// every output sample, in-place processing, null channel arrays, and the
// same blocks counted for allocation and system calls.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tools/validate/checks.h"
#include "tools/validate/realtime_counters.h"

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

std::vector<float> allRates() {
    std::vector<float> rates = validSampleRates();
    for (const float rate : invalidSampleRates()) {
        rates.push_back(rate);
    }
    return rates;
}

int gridBlocks(Context& context, const LoadedPlugin& plugin, bool counting) {
    auto instance = TestInstance::create(plugin.entry());
    instance->open();
    const double maxGain = context.profile().maxGain;
    int blocks = 0;
    int blocksWithCalls = 0;
    std::string firstCalls;
    forEachCombination(
        context, allRates(), blockSizes(),
        [&](float rate, VstInt32 frames, const TimeVariant& variant) {
            const std::string where = rateText(rate) + ", " + std::to_string(frames) +
                                      "-frame blocks, time '" + variant.name + "'";
            context.step(where);
            instance->suspend();
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
    auto instance = TestInstance::create(plugin.entry());
    instance->start(44100.0f, kMaxFrames);
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
    for (const VstInt32 frames : {0, -1, -512, std::numeric_limits<VstInt32>::min()}) {
        context.step("a block of " + std::to_string(frames) + " frames");
        const std::string bad = processAndAudit(*instance, buffers, frames, 0.0);
        if (!bad.empty()) {
            context.problem(bad);
        }
    }
    return count;
}

// The same blocks through separate buffers and in place must agree bit for bit.
int inPlace(Context& context, const LoadedPlugin& plugin) {
    constexpr VstInt32 kMaxFrames = 2048;
    auto separate = TestInstance::create(plugin.entry());
    auto shared = TestInstance::create(plugin.entry());
    separate->start(48000.0f, kMaxFrames);
    shared->start(48000.0f, kMaxFrames);
    for (int p = 0; p < separate->params(); ++p) {
        const auto value = static_cast<float>(context.rng().uniform());
        separate->setParameter(p, value);
        shared->setParameter(p, value);
    }
    AudioBuffers buffers(separate->inputs(), separate->outputs(), kMaxFrames);
    const int channels = std::min(separate->inputs(), separate->outputs());
    AudioBuffers inPlaceBuffers(channels, channels, kMaxFrames);
    const int count = context.scaled(20, 200);
    double samples = 0.0;
    for (int block = 0; block < count; ++block) {
        const auto frames = static_cast<VstInt32>(context.rng().between(1, kMaxFrames));
        context.step("in-place block " + std::to_string(block));
        buffers.fillNoise(context.rng());
        for (int c = 0; c < channels; ++c) {
            inPlaceBuffers.inChannel(static_cast<std::size_t>(c)) =
                buffers.inChannel(static_cast<std::size_t>(c));
        }
        for (TestInstance* instance : {separate.get(), shared.get()}) {
            timeVariants().front().apply(*instance, context.rng(), block, samples);
        }
        separate->process(buffers.in(), buffers.out(), frames);
        // In place: each output channel is its input channel's buffer.
        shared->process(inPlaceBuffers.in(), inPlaceBuffers.in(), frames);
        for (int c = 0; c < channels; ++c) {
            const float* a = buffers.out()[c];
            const float* b = inPlaceBuffers.in()[c];
            if (std::memcmp(a, b, sizeof(float) * static_cast<std::size_t>(frames)) != 0) {
                for (VstInt32 i = 0; i < frames; ++i) {
                    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
                        context.problem("in-place block " + std::to_string(block) +
                                        " differs at channel " + std::to_string(c) + " frame " +
                                        std::to_string(i) + ": " + describeFloat(b[i]) +
                                        " in place vs " + describeFloat(a[i]));
                        break;
                    }
                }
                return count;
            }
        }
        samples += frames;
    }
    return count;
}

// Null arrays, and arrays of null channels: nothing to read or write, so
// nothing must be touched; the instance must process normally afterwards.
void nullChannels(Context& context, const LoadedPlugin& plugin) {
    constexpr VstInt32 kFrames = 512;
    auto instance = TestInstance::create(plugin.entry());
    instance->start(44100.0f, kFrames);
    AudioBuffers buffers(instance->inputs(), instance->outputs(), kFrames);
    buffers.fillNoise(context.rng());
    std::vector<float*> nullIn(static_cast<std::size_t>(std::max(instance->inputs(), 2)), nullptr);
    std::vector<float*> nullOut(static_cast<std::size_t>(std::max(instance->outputs(), 2)),
                                nullptr);
    const struct {
        const char* what;
        float** in;
        float** out;
    } cases[] = {
        {"null input and output arrays", nullptr, nullptr},
        {"a null output array", buffers.in(), nullptr},
        {"a null input array", nullptr, buffers.out()},
        {"arrays of null channels", nullIn.data(), nullOut.data()},
        {"null output channels", buffers.in(), nullOut.data()},
    };
    for (const auto& c : cases) {
        context.step("processing " + std::string(c.what));
        instance->process(c.in, c.out, kFrames);
    }
    context.step("a normal block after null channel arrays");
    const std::string bad = processAndAudit(*instance, buffers, kFrames, context.profile().maxGain);
    if (!bad.empty()) {
        context.problem("a normal block after null channel arrays: " + bad);
    }
}

void doublePrecision(Context& context, const LoadedPlugin& plugin) {
    constexpr VstInt32 kFrames = 512;
    auto instance = TestInstance::create(plugin.entry());
    if ((instance->record()->flags & effFlagsCanDoubleReplacing) == 0) {
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
    nullChannels(context, plugin);
    doublePrecision(context, plugin);
    const double maxGain = context.profile().maxGain;
    context.tried(std::to_string(grid) + " blocks over " + std::to_string(allRates().size()) +
                  " rates x " + std::to_string(blockSizes().size()) +
                  " block sizes x time variants, " + std::to_string(varying) + " varying, " +
                  std::to_string(shared) + " in place, null arrays; " +
                  (maxGain > 0.0 ? "gain bound " + describeDouble(maxGain) + " (" +
                                       context.profile().source + ")"
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
