// drifton-render on ten minutes of stereo 48 kHz float audio, WAV to WAV,
// next to a plain libsndfile read-and-write copy of the same file in the same
// run. Prints the render's cost as a ratio of the copy's and as a multiple of
// real time. The machine may be shared: use repetitions, e.g.
//   render_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fastest_reporter.h"
#include "tools/render/render_tool.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 48000;
constexpr double kSeconds = 600.0;
constexpr sf_count_t kChunk = 4096;

fs::path folder() {
    static const fs::path path =
        fs::temp_directory_path() / ("drifton-render-bench-" + std::to_string(::getpid()));
    return path;
}

fs::path input() { return folder() / "in.wav"; }
fs::path output() { return folder() / "out.wav"; }

// Ten minutes of noise at -6 dBFS, written once.
bool makeInput() {
    fs::create_directories(folder());
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(input().c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        return false;
    }
    std::vector<float> chunk(static_cast<std::size_t>(kChunk) * 2);
    std::uint32_t state = 1;
    const auto frames = static_cast<sf_count_t>(kSeconds * kRate);
    for (sf_count_t done = 0; done < frames; done += kChunk) {
        for (float& x : chunk) {
            state = state * 1664525u + 1013904223u;
            x = 0.5f * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
        }
        sf_writef_float(file, chunk.data(), std::min(kChunk, frames - done));
    }
    return sf_close(file) == 0;
}

void copy(benchmark::State& state) {
    for (auto _ : state) {
        SF_INFO inInfo{};
        SNDFILE* in = sf_open(input().c_str(), SFM_READ, &inInfo);
        SF_INFO outInfo = inInfo;
        SNDFILE* out = sf_open(output().c_str(), SFM_WRITE, &outInfo);
        if (in == nullptr || out == nullptr) {
            state.SkipWithError("cannot open the files");
            return;
        }
        std::vector<float> chunk(static_cast<std::size_t>(kChunk) * 2);
        sf_count_t got = 0;
        while ((got = sf_readf_float(in, chunk.data(), kChunk)) > 0) {
            sf_writef_float(out, chunk.data(), got);
        }
        sf_close(in);
        sf_close(out);
    }
    state.counters["x real time"] =
        benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

void render(benchmark::State& state) {
    const std::vector<std::string> args = {"--quiet", "--plugin", DRIFTON_PLUGIN_PATH,
                                           input().string(), output().string()};
    for (auto _ : state) {
        std::ostringstream out, err;
        if (render::runRenderTool(args, out, err) != 0) {
            state.SkipWithError(err.str().c_str());
            return;
        }
    }
    state.counters["x real time"] =
        benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(copy)->Name("CopyWavToWav")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(render)->Name("RenderWavToWav")->Unit(benchmark::kMillisecond)->UseRealTime();

// The console table, then the ratios from the fastest repetition of each.
class RatioReporter : public FastestReporter {
public:
    void Finalize() override {
        ConsoleReporter::Finalize();
        // Both run in milliseconds of real time.
        const auto copied = fastest().find("CopyWavToWav/real_time");
        const auto rendered = fastest().find("RenderWavToWav/real_time");
        if (copied != fastest().end() && rendered != fastest().end()) {
            const double copySeconds = copied->second / 1000.0;
            const double renderSeconds = rendered->second / 1000.0;
            std::printf("\nrender / copy: %.2f   render: %.0fx real time   copy: %.0fx real time\n",
                        renderSeconds / copySeconds, kSeconds / renderSeconds,
                        kSeconds / copySeconds);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    if (!makeInput()) {
        std::fprintf(stderr, "render_bench: cannot write %s\n", input().c_str());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    fs::remove_all(folder());
    return 0;
}
