// drifton-render's slow tier (ctest label "slow"; not in the presets' test
// runs, CI runs it on the release build): a WAV output beyond 4 GiB, and the
// peak memory of the longest plot. Both drive the executable through the
// pass-through probe effect in long blocks, so that the time goes to the
// tool itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ChildRun {
    int status = -1;
    long maxRssKiB = 0;
    double seconds = 0.0;
};

ChildRun runRender(std::vector<std::string> args) {
    std::string program = DRIFTON_RENDER_PATH;
    std::vector<char*> argv{program.data()};
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ChildRun run;
    rusage usage{};
    ::wait4(pid, &run.status, 0, &usage);
    run.maxRssKiB = usage.ru_maxrss;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return run;
}

fs::path folder() {
    return fs::temp_directory_path() / ("drifton-render-slow-" + std::to_string(::getpid()));
}

// A 16-bit mono WAV of `frames` frames of silence: a header and a hole, so
// it costs no disk.
void writeSparseSilence(const fs::path& path, std::uint32_t frames) {
    {
        std::ofstream file(path, std::ios::binary);
        const auto u32 = [&](std::uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
        const auto u16 = [&](std::uint16_t v) { file.write(reinterpret_cast<const char*>(&v), 2); };
        file.write("RIFF", 4);
        u32(36 + 2 * frames);
        file.write("WAVEfmt ", 8);
        u32(16);
        u16(1);
        u16(1);
        u32(48000);
        u32(96000);
        u16(2);
        u16(16);
        file.write("data", 4);
        u32(2 * frames);
    }
    fs::resize_file(path, 44 + 2 * static_cast<std::uintmax_t>(frames));
}

// 540 million frames of stereo float: 4.32 GB of data, past the 4 GiB that a
// WAV's 32-bit size fields hold. It must read back whole, as RF64.
TEST(RenderLongWav, BeyondFourGiBIsWrittenAsRf64AndReadsBackWhole) {
    constexpr std::uint32_t kFrames = 540000000;
    const fs::path dir = folder();
    fs::create_directories(dir);
    writeSparseSilence(dir / "in.wav", kFrames);
    const ChildRun run = runRender({"--plugin", DRIFTON_PROBE_PATH, "--quiet", "--block", "65536",
                                    (dir / "in.wav").string(), (dir / "out.wav").string()});
    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
    std::printf("rendered %u frames (%ju bytes) in %.1f s\n", kFrames,
                static_cast<std::uintmax_t>(fs::file_size(dir / "out.wav")), run.seconds);
    EXPECT_GT(fs::file_size(dir / "out.wav"), 8ull * kFrames);
    SF_INFO info{};
    SNDFILE* file = sf_open((dir / "out.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(SF_FORMAT_RF64 | SF_FORMAT_FLOAT, info.format);
    EXPECT_EQ(kFrames, info.frames);
    EXPECT_EQ(2, info.channels);
    // The last frames are there, and silent as the input.
    std::vector<float> tail(2 * 4096, 1.0f);
    ASSERT_EQ(kFrames - 4096, sf_seek(file, kFrames - 4096, SEEK_SET));
    EXPECT_EQ(4096, sf_readf_float(file, tail.data(), 4096));
    EXPECT_EQ(std::vector<float>(2 * 4096, 0.0f), tail);
    sf_close(file);
    fs::remove_all(dir);
}

// The longest plot at the default tempo: 100000 beats at 120 BPM and 48 kHz,
// 2.4 billion frames (the plot once kept them all: 19 GB). The bound held:
// 16 MiB of resident memory for the whole tool at any length.
TEST(RenderLongPlot, LongestPlotStaysWithinSixteenMiB) {
    const fs::path dir = folder();
    fs::create_directories(dir);
    const ChildRun run =
        runRender({"--plugin", DRIFTON_PROBE_PATH, "--quiet", "--block", "65536", "--plot-beats",
                   "100000", "--plot", (dir / "plot.svg").string()});
    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
    std::printf("longest plot: peak resident memory %ld KiB, %.1f s, %ju bytes of SVG\n",
                run.maxRssKiB, run.seconds,
                static_cast<std::uintmax_t>(fs::file_size(dir / "plot.svg")));
    ::testing::Test::RecordProperty("peak_rss_kib", static_cast<int>(run.maxRssKiB));
    EXPECT_LT(run.maxRssKiB, 16 * 1024);
    fs::remove_all(dir);
}

}  // namespace
