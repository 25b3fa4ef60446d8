// Cost of processReplacing per stereo frame, next to a plain copy of the same
// buffers and to the straightforward per-sample model, at host block sizes.
// The effect is served by the host library's real-time clean Host, whose
// answer to the time query costs a few loads, so the numbers are the
// effect's own. After the usual table the
// run prints processReplacing as a ratio of the model loop and of the copy
// with the same setting and block size, from the fastest repetition of each.
// The effect is measured once per kernel path the CPU supports, through the
// effect record's processing entry as a host calls it. For steadier ratios:
//   drifton_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/pan_block_kernel.h"
#include "fastest_reporter.h"
#include "host/vst_host.h"
#include "model/pan_model.h"
#include "panner/drifton_vst.h"
#include "stereo_buffers.h"
#include "vst/vst_opcodes.h"
#include "vst/vst_records.h"

namespace {

constexpr double kRate = 44100.0;
constexpr double kTempo = 120.0;

// A host's transport: advances by one block, looping over 64 bars.
void advance(VstTimeInfo& info, int frames) {
    info.ppqPos += frames * (kTempo / 60.0) / kRate;
    if (info.ppqPos >= 256.0) {
        info.ppqPos -= 256.0;
    }
}

enum Setting { kDefaults, kSquareWhole };

void configure(DriftonVST& effect, Setting setting) {
    if (setting == kSquareWhole) {
        effect.setParameter(drifton::kWaveShape, 1.0f);  // square
        effect.setParameter(drifton::kPeriod, 0.0f);     // 1/1
    }
}

void configure(PanModel& model, Setting setting) {
    if (setting == kSquareWhole) {
        model.waveShape = drifton::kSquare;
        model.periodIndex = 0;
    }
}

// Items are stereo frames; time_per_frame is the mean time of one frame.
void finish(benchmark::State& state, int frames) {
    state.SetItemsProcessed(state.iterations() * frames);
    state.counters["time_per_frame"] = benchmark::Counter(
        static_cast<double>(frames),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void processReplacing(benchmark::State& state, Setting setting, drifton::KernelPath path) {
    const auto frames = static_cast<int>(state.range(0));
    Buffers buffers(frames);
    vsthost::Host host;
    VstTimeInfo& hostTime = host.timeInfo();
    hostTime.sampleRate = kRate;
    host.setTransport(0.0, kTempo);
    DriftonVST effect(vsthost::Host::callback(), path);
    host.attach(effect.getEffectRecord());
    configure(effect, setting);
    AEffect* record = effect.getEffectRecord();
    for (auto _ : state) {
        record->processReplacing(record, buffers.inputs, buffers.outputs, frames);
        benchmark::DoNotOptimize(buffers.outLeft.data());
        benchmark::DoNotOptimize(buffers.outRight.data());
        benchmark::ClobberMemory();
        advance(hostTime, frames);
    }
    finish(state, frames);
}

void copy(benchmark::State& state) {
    const auto frames = static_cast<int>(state.range(0));
    Buffers buffers(frames);
    const std::size_t bytes = buffers.inLeft.size() * sizeof(float);
    for (auto _ : state) {
        std::memcpy(buffers.outputs[0], buffers.inputs[0], bytes);
        std::memcpy(buffers.outputs[1], buffers.inputs[1], bytes);
        benchmark::DoNotOptimize(buffers.outLeft.data());
        benchmark::DoNotOptimize(buffers.outRight.data());
        benchmark::ClobberMemory();
    }
    finish(state, frames);
}

void modelLoop(benchmark::State& state, Setting setting) {
    const auto frames = static_cast<int>(state.range(0));
    Buffers buffers(frames);
    PanModel model;
    configure(model, setting);
    VstTimeInfo time{};
    time.sampleRate = kRate;
    time.tempo = kTempo;
    time.flags = kVstPpqPosValid | kVstTempoValid;
    for (auto _ : state) {
        model.process(HostTime{time.ppqPos, time.tempo, false}, buffers.inputs[0],
                      buffers.inputs[1], buffers.outputs[0], buffers.outputs[1], frames);
        benchmark::DoNotOptimize(buffers.outLeft.data());
        benchmark::DoNotOptimize(buffers.outRight.data());
        benchmark::ClobberMemory();
        advance(time, frames);
    }
    finish(state, frames);
}

void blockSizes(benchmark::internal::Benchmark* b) { b->Arg(64)->Arg(512)->Arg(4096); }

BENCHMARK(copy)->Name("Copy")->Apply(blockSizes);
BENCHMARK_CAPTURE(modelLoop, Defaults, kDefaults)->Apply(blockSizes);
BENCHMARK_CAPTURE(modelLoop, SquareWhole, kSquareWhole)->Apply(blockSizes);

// The console table, then the ratios.
class RatioReporter : public FastestReporter {
public:
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nprocessReplacing as a ratio:\n");
        std::printf("%-34s %14s %14s\n", "path/setting/frames", "/ model loop", "/ copy");
        for (const auto& [name, time] : fastest()) {
            const std::string prefix = "processReplacing/";
            if (name.rfind(prefix, 0) != 0) {
                continue;
            }
            const std::string pathAndSetting = name.substr(prefix.size());
            const std::string setting = pathAndSetting.substr(pathAndSetting.find('/') + 1);
            const std::string frames = setting.substr(setting.find('/') + 1);
            const auto model = fastest().find("modelLoop/" + setting);
            const auto copied = fastest().find("Copy/" + frames);
            std::printf("%-34s %14.3f %14.1f\n", pathAndSetting.c_str(),
                        model == fastest().end() ? 0.0 : time / model->second,
                        copied == fastest().end() ? 0.0 : time / copied->second);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::AddCustomContext("product kernel path",
                                drifton::kernelPathName(drifton::fastestKernelPath()));
    for (const drifton::KernelPath path : drifton::kKernelPaths) {
        if (!drifton::kernelPathSupported(path)) {
            continue;
        }
        for (const auto& [name, setting] :
             {std::pair{"Defaults", kDefaults}, std::pair{"SquareWhole", kSquareWhole}}) {
            const std::string full =
                std::string("processReplacing/") + drifton::kernelPathName(path) + "/" + name;
            benchmark::RegisterBenchmark(full.c_str(), processReplacing, setting, path)
                ->Apply(blockSizes);
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
