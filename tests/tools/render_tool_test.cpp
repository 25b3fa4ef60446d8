// drifton-render, run in-process: bit identity with direct processing through
// the host library, the transport each block sees, parameter texts, files and
// their errors, automation timing. The probe effect reports what a plug-in sees.
#include "tools/render/render_tool.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/vst_host.h"
#include "probe_log.h"
#include "tools/common/progress.h"
#include "tools/render/audio_file.h"
#include "tools/render/parameters.h"
#include "tools/render/plot.h"
#include "tools/render/renderer.h"

namespace fs = std::filesystem;

namespace {

struct Audio {
    int rate = 0;
    int channels = 0;
    int format = 0;
    std::vector<float> samples;  // interleaved
    std::size_t frames() const { return samples.size() / static_cast<std::size_t>(channels); }
};

void writeAudio(const fs::path& path, const Audio& audio) {
    SF_INFO info{};
    info.samplerate = audio.rate;
    info.channels = audio.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(nullptr, file) << path;
    ASSERT_EQ(static_cast<sf_count_t>(audio.frames()),
              sf_writef_float(file, audio.samples.data(), static_cast<sf_count_t>(audio.frames())));
    sf_close(file);
}

Audio readAudio(const fs::path& path) {
    Audio audio;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path;
        return audio;
    }
    audio.rate = info.samplerate;
    audio.channels = info.channels;
    audio.format = info.format;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

// Deterministic noise, different on every channel.
Audio noise(int frames, int channels, int rate, float amplitude = 1.0f) {
    Audio audio{rate, channels, 0, {}};
    std::uint32_t state = 12345;
    for (int i = 0; i < frames * channels; ++i) {
        state = state * 1664525u + 1013904223u;
        audio.samples.push_back(amplitude * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f));
    }
    return audio;
}

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result runTool(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = render::runRenderTool(args, out, err);
    return Result{status, out.str(), err.str()};
}

class RenderToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
        }
        dir = fs::temp_directory_path() /
              ("drifton-render-test-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Files in the test folder, to prove that no temporary file is left behind.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

// --- Bit identity with direct processing through the host library ---------

struct IdentityCase {
    const char* name;
    std::vector<std::string> options;
    render::BlockSizer blocks;
    render::Transport transport;
    int frames;
};

void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

class RenderIdentity : public RenderToolTest, public ::testing::WithParamInterface<IdentityCase> {};

// The same audio, blocks, positions and parameters driven by hand.
std::vector<float> processDirectly(const IdentityCase& c, const Audio& input) {
    std::string error;
    auto library = vsthost::PluginLibrary::open(DRIFTON_PLUGIN_PATH, &error);
    vsthost::Host host;
    auto instance = vsthost::Instance::create(library->entryPoint(), host);
    host.setTimeInfoAvailable(c.transport.available);
    host.setRecording(false);
    render::BlockSizer blocks = c.blocks;
    const auto rate = static_cast<double>(input.rate);
    instance->dispatch(effOpen);
    instance->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    instance->dispatch(effSetBlockSize, 0, blocks.maxBlock());
    instance->setParameter(0, 0.7f);
    instance->setParameter(1, 1.0f);
    instance->dispatch(effMainsChanged, 0, 1);
    const std::size_t frames = input.frames();
    std::vector<float> output(frames * 2);
    for (std::size_t done = 0; done < frames;) {
        const auto n = std::min(frames - done, static_cast<std::size_t>(blocks.next()));
        vsthost::StereoBuffer in(n), out(n);
        for (std::size_t i = 0; i < n; ++i) {
            in.channel(0)[i] = input.samples[2 * (done + i)];
            in.channel(1)[i] = input.samples[2 * (done + i) + 1];
        }
        host.setTransport(
            c.transport.start + static_cast<double>(done) * c.transport.tempo / 60.0 / rate,
            c.transport.tempo);
        instance->processReplacing(in.channels(), out.channels(), static_cast<VstInt32>(n));
        for (std::size_t i = 0; i < n; ++i) {
            output[2 * (done + i)] = out.channel(0)[i];
            output[2 * (done + i) + 1] = out.channel(1)[i];
        }
        done += n;
    }
    return output;
}

TEST_P(RenderIdentity, OutputEqualsDirectProcessingBitForBit) {
    const IdentityCase& c = GetParam();
    const Audio input = noise(c.frames, 2, 44100);
    writeAudio(dir / "in.wav", input);
    std::vector<std::string> args = {
        "--plugin", DRIFTON_PLUGIN_PATH, "--quiet", "--set", "0=0.7", "--set", "1=1"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back((dir / "in.wav").string());
    args.push_back((dir / "out.wav").string());
    const Result result = runTool(args);
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_EQ("", result.out);

    const Audio rendered = readAudio(dir / "out.wav");
    const std::vector<float> direct = processDirectly(c, input);
    ASSERT_EQ(direct.size(), rendered.samples.size());
    EXPECT_EQ(0,
              std::memcmp(direct.data(), rendered.samples.data(), direct.size() * sizeof(float)));
    EXPECT_NE(0, std::memcmp(input.samples.data(), rendered.samples.data(),
                             direct.size() * sizeof(float)));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, RenderIdentity,
    ::testing::Values(
        IdentityCase{"Fixed512", {}, render::BlockSizer(512), {}, 30011},
        IdentityCase{"Fixed1000Tempo90CountIn",
                     {"--block", "1000", "--tempo", "90", "--start", "-2"},
                     render::BlockSizer(1000),
                     {90.0, -2.0, true},
                     30011},
        IdentityCase{
            "RandomSeed7", {"--random-blocks", "7"}, render::BlockSizer::random(7), {}, 70001},
        IdentityCase{"RandomNoTransport",
                     {"--random-blocks", "9", "--no-transport"},
                     render::BlockSizer::random(9),
                     {120.0, 0.0, false},
                     30011}),
    [](const auto& param) { return std::string(param.param.name); });

// --- What the effect sees, through the probe effect -----------------------

class ProbeTest : public RenderToolTest {
protected:
    void SetUp() override {
        RenderToolTest::SetUp();
        // Held open so that the log outlives the tool's own handle.
        handle = dlopen(DRIFTON_PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, handle) << dlerror();
        reset = reinterpret_cast<ProbeResetFunction>(dlsym(handle, "probeReset"));
        blocksOf = reinterpret_cast<ProbeBlocksFunction>(dlsym(handle, "probeBlocks"));
        reset();
    }
    void TearDown() override {
        dlclose(handle);
        RenderToolTest::TearDown();
    }
    std::vector<ProbeBlock> log() const {
        std::size_t count = 0;
        const ProbeBlock* first = blocksOf(&count);
        // Copied into a sized vector: GCC 12's -O2 flags the range
        // constructor's deallocation with a false -Wfree-nonheap-object.
        std::vector<ProbeBlock> blocks(count);
        std::copy_n(first, count, blocks.begin());
        return blocks;
    }
    Result renderProbe(std::vector<std::string> options, int frames) {
        writeAudio(dir / "in.wav", noise(frames, 2, 48000));
        std::vector<std::string> args = {"--plugin", DRIFTON_PROBE_PATH, "--quiet"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back((dir / "in.wav").string());
        args.push_back((dir / "out.wav").string());
        return runTool(args);
    }

    void* handle = nullptr;
    ProbeResetFunction reset = nullptr;
    ProbeBlocksFunction blocksOf = nullptr;
};

TEST_F(ProbeTest, EachBlockReportsStartPlusFramesSoFarInBeats) {
    const Result result =
        renderProbe({"--start", "-2", "--tempo", "90", "--random-blocks", "11"}, 100000);
    ASSERT_EQ(0, result.status) << result.err;
    const auto blocks = log();
    ASSERT_GT(blocks.size(), 20u);
    long long done = 0;
    for (const ProbeBlock& block : blocks) {
        ASSERT_TRUE(block.hadTime);
        EXPECT_NEAR(-2.0 + static_cast<double>(done) * 1.5 / 48000.0, block.ppqPos, 1e-12)
            << "block at frame " << done;
        EXPECT_EQ(90.0, block.tempo);
        EXPECT_EQ(kVstPpqPosValid | kVstTempoValid,
                  block.flags & (kVstPpqPosValid | kVstTempoValid));
        EXPECT_GE(block.frames, 1);
        EXPECT_LE(block.frames, 4096);
        done += block.frames;
    }
    EXPECT_EQ(100000, done);
}

TEST_F(ProbeTest, NoTransportAnswersNoTimeRecord) {
    ASSERT_EQ(0, renderProbe({"--no-transport", "--block", "300"}, 1000).status);
    const auto blocks = log();
    ASSERT_EQ(4u, blocks.size());
    EXPECT_EQ(100, blocks.back().frames);
    for (const ProbeBlock& block : blocks) {
        EXPECT_FALSE(block.hadTime);
    }
}

// A ramp from beat 2 to beat 6 at 120 BPM and 48 kHz: beat b starts at frame
// 24000 b. Long host blocks are split so the ramp is smooth and both ends fall
// on their frames.
struct RampCase {
    const char* name;
    std::string automation;
    std::string blocks;
};

void PrintTo(const RampCase& c, std::ostream* os) { *os << c.name; }

class ProbeRamp : public ProbeTest, public ::testing::WithParamInterface<RampCase> {};

TEST_P(ProbeRamp, ReachesItsValuesAtTheirBeats) {
    const RampCase& c = GetParam();
    const Result result = renderProbe({"--automate", c.automation, "--block", c.blocks}, 200000);
    ASSERT_EQ(0, result.status) << result.err;
    long long done = 0;
    bool sawStart = false, sawEnd = false;
    float previous = 0.0f;
    for (const ProbeBlock& block : log()) {
        const long long end = done + block.frames;
        if (done < 48000) {
            EXPECT_EQ(0.0f, block.depth) << "before the ramp, block at " << done;
            EXPECT_LE(end, 48000) << "a block crosses the ramp's start";
        } else if (done < 144000) {
            EXPECT_LE(block.frames, render::kRampStep) << "block at " << done;
            EXPECT_LE(end, 144000) << "a block crosses the ramp's end";
            EXPECT_NEAR(static_cast<double>(done - 48000) / 96000.0, block.depth, 1e-6);
            EXPECT_GE(block.depth, previous);
        } else {
            EXPECT_EQ(1.0f, block.depth) << "after the ramp, block at " << done;
        }
        sawStart = sawStart || done == 48000;
        sawEnd = sawEnd || done == 144000;
        previous = block.depth;
        done = end;
    }
    EXPECT_TRUE(sawStart);
    EXPECT_TRUE(sawEnd);
    EXPECT_EQ(200000, done);
}

INSTANTIATE_TEST_SUITE_P(Automation, ProbeRamp,
                         ::testing::Values(RampCase{"IndexAndValue", "0=2:0,6:1", "4096"},
                                           RampCase{"NameAndText", "depth=2:0,6:100", "4096"},
                                           RampCase{"ShortBlocks", "0=2:0,6:1", "7"}),
                         [](const auto& param) { return std::string(param.param.name); });

// --- Parameter texts -------------------------------------------------------

// Every display text of Period and Type, as the plug-in shows them, is
// accepted (in any case) and shows the same text again.
TEST_F(RenderToolTest, EveryPeriodAndTypeTextRoundTrips) {
    std::string error;
    auto library = vsthost::PluginLibrary::open(DRIFTON_PLUGIN_PATH, &error);
    vsthost::Host host;
    auto instance = vsthost::Instance::create(library->entryPoint(), host);
    struct Parameter {
        int index;
        std::string name;
        int steps;
    };
    for (const Parameter& p : {Parameter{0, "Period", 11}, Parameter{1, "Type", 2}}) {
        for (int step = 0; step <= p.steps; ++step) {
            instance->setParameter(p.index, static_cast<float>(step) / static_cast<float>(p.steps));
            const std::string text = instance->text(effGetParamDisplay, p.index);
            for (const std::string& typed : {text, render::printable(text).insert(0, "")}) {
                std::string lower = typed;
                for (char& ch : lower) {
                    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                }
                const Result result = runTool(
                    {"--plugin", DRIFTON_PLUGIN_PATH, "--info", "--set", p.name + "=" + lower});
                ASSERT_EQ(0, result.status) << result.err;
                EXPECT_NE(std::string::npos, result.out.find(p.name + " = " + text + " "))
                    << typed << "\n"
                    << result.out;
            }
        }
    }
}

TEST_F(RenderToolTest, NumbersChooseTheValueThatShowsExactlyThem) {
    std::string error;
    auto library = vsthost::PluginLibrary::open(DRIFTON_PLUGIN_PATH, &error);
    vsthost::Host host;
    auto instance = vsthost::Instance::create(library->entryPoint(), host);
    render::ParameterTable table(*instance);
    struct Case {
        int index;
        const char* text;
        float value;
    };
    for (const Case& c :
         {Case{2, "80", 0.8f}, Case{2, "80.0", 0.8f}, Case{3, "-90.00", 0.25f}, Case{2, "0", 0.0f},
          Case{2, "100 %", 1.0f}, Case{3, "-90", 0.25f}, Case{3, "90\xC2\xB0", 0.75f},
          Case{3, "-180", 0.0f}, Case{3, "0", 0.5f}}) {
        EXPECT_EQ(c.value, table.resolveText("--set", c.index, c.text)) << c.text;
    }
    // 0.29 itself shows as 28 (truncated); 29 is the lowest value showing 29.
    const float w29 = table.resolveText("--set", 2, "29");
    instance->setParameter(2, w29);
    EXPECT_EQ("29", instance->text(effGetParamDisplay, 2));
    EXPECT_NEAR(0.29, static_cast<double>(w29), 1e-6);
}

struct BadArguments {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

void PrintTo(const BadArguments& c, std::ostream* os) { *os << c.name; }

class RenderErrors : public RenderToolTest, public ::testing::WithParamInterface<BadArguments> {};

TEST_P(RenderErrors, FailWithOneHelpfulLineAndNoFile) {
    std::vector<std::string> args = {"--plugin", DRIFTON_PLUGIN_PATH};
    for (const std::string& arg : GetParam().args) {
        args.push_back(arg == "OUT" ? (dir / "out.wav").string() : arg);
    }
    const Result result = runTool(args);
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.err.find(GetParam().message)) << result.err;
    EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n')) << result.err;
    EXPECT_TRUE(files().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, RenderErrors,
    ::testing::Values(
        BadArguments{"UnknownName",
                     {"--set", "Speed=1/4", "OUT"},
                     "no parameter 'Speed'; valid names: Period, Type, Width, PhaseShift"},
        BadArguments{
            "UnknownShape", {"--set", "Type=Saw", "OUT"}, "valid values: Triangle, Sin, Square"},
        BadArguments{
            "UnknownPeriod", {"--set", "period=1/5", "OUT"}, "valid values: 1/1, 1/2, 1/3"},
        BadArguments{
            "WidthTooLarge", {"--set", "Width=150", "OUT"}, "nearest valid values: 99, 100"},
        BadArguments{"NormalisedOutOfRange", {"--set", "2=1.5", "OUT"}, "normalised, 0..1"},
        BadArguments{"NoEquals", {"--set", "Width", "OUT"}, "--set: expected NAME=VALUE"},
        BadArguments{
            "AutomationBackwards", {"--automate", "Width=4:0,2:100", "OUT"}, "beats must increase"},
        BadArguments{"BadTempo", {"--tempo", "0", "OUT"}, "--tempo: must be between"},
        BadArguments{"BadBlock", {"--block", "x", "OUT"}, "--block: expected a whole number"},
        BadArguments{"BadBits", {"--bits", "20", "OUT"}, "--bits: 20 is not one of 16, 24, 32"},
        BadArguments{"UnknownOption", {"--speed", "OUT"}, "--speed: unknown option"},
        BadArguments{"NoOutput", {}, "missing OUTPUT"}),
    [](const auto& param) { return std::string(param.param.name); });

// --- Files -----------------------------------------------------------------

TEST_F(RenderToolTest, MonoInputFeedsBothChannelsAndFormatsFollowTheExtension) {
    writeAudio(dir / "mono.wav", noise(5000, 1, 22050, 0.5f));
    struct Case {
        const char* file;
        std::vector<std::string> options;
        int format;
    };
    for (const Case& c : {Case{"out.wav", {}, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                          Case{"out24.wav", {"--bits", "24"}, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
                          Case{"out16.WAV", {"--bits", "16"}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                          Case{"out.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24}}) {
        std::vector<std::string> args = {"--plugin", DRIFTON_PLUGIN_PATH, "--set", "Width=0"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back((dir / "mono.wav").string());
        args.push_back((dir / c.file).string());
        const Result result = runTool(args);
        ASSERT_EQ(0, result.status) << result.err;
        // Float output clips nothing, so it counts no clipped samples.
        const bool isFloat = c.options.empty() && std::string(c.file) == "out.wav";
        EXPECT_NE(std::string::npos,
                  result.out.find(isFloat ? "0 non-finite\n" : "0 non-finite, 0 clipped"))
            << result.out;
        const Audio out = readAudio(dir / c.file);
        EXPECT_EQ(c.format, out.format) << c.file;
        EXPECT_EQ(22050, out.rate);
        ASSERT_EQ(2, out.channels);
        ASSERT_EQ(5000u, out.frames());
        // Width 0 keeps the centre: both channels carry the mono input.
        EXPECT_NEAR(out.samples[2 * 4000], out.samples[2 * 4000 + 1], 1e-4) << c.file;
    }
    EXPECT_EQ(
        (std::vector<std::string>{"mono.wav", "out.flac", "out.wav", "out16.WAV", "out24.wav"}),
        files());
}

struct FileCase {
    const char* name;
    std::vector<std::string> args;  // IN, OUT and KEEP stand for files in the test folder
    const char* message;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class RenderFileErrors : public RenderToolTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(RenderFileErrors, LeaveNoPartialOutputAndKeepExistingFiles) {
    writeAudio(dir / "in.wav", noise(3000, 2, 44100));
    writeAudio(dir / "three.wav", noise(100, 3, 44100));
    std::ofstream(dir / "text.wav") << "not audio";
    std::ofstream(dir / "keep.wav") << "keep";
    const auto before = files();
    std::vector<std::string> args = {"--quiet"};
    for (const std::string& arg : GetParam().args) {
        if (arg == "IN" || arg == "KEEP" || arg == "THREE" || arg == "TEXT") {
            const char* file = arg == "IN"      ? "in.wav"
                               : arg == "KEEP"  ? "keep.wav"
                               : arg == "THREE" ? "three.wav"
                                                : "text.wav";
            args.push_back((dir / file).string());
        } else if (arg.rfind("PLUGIN:", 0) == 0) {
            args.push_back("--plugin");
            args.push_back(arg.substr(7) == "drifton" ? DRIFTON_PLUGIN_PATH
                           : arg.substr(7) == "mono"  ? DRIFTON_PROBE_MONO_PATH
                           : arg.substr(7) == "none"  ? DRIFTON_PROBE_NO_ENTRY_PATH
                                                      : (dir / "text.wav").string());
        } else {
            args.push_back(arg[0] == '/' ? (dir.string() + arg) : arg);
        }
    }
    const Result result = runTool(args);
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.err.find(GetParam().message)) << result.err;
    EXPECT_EQ(before, files());
    std::string kept;
    std::getline(std::ifstream(dir / "keep.wav"), kept);
    EXPECT_EQ("keep", kept);
    EXPECT_EQ(3000u, readAudio(dir / "in.wav").frames());
}

INSTANTIATE_TEST_SUITE_P(
    Files, RenderFileErrors,
    ::testing::Values(
        FileCase{"MissingInput",
                 {"PLUGIN:drifton", "/missing.wav", "KEEP"},
                 "missing.wav': cannot read audio"},
        FileCase{
            "UnreadableInput", {"PLUGIN:drifton", "TEXT", "KEEP"}, "text.wav': cannot read audio"},
        FileCase{"ThreeChannels", {"PLUGIN:drifton", "THREE", "KEEP"}, "has 3 channels"},
        FileCase{
            "NoSuchFolder", {"PLUGIN:drifton", "IN", "/none/out.wav"}, "cannot write in folder"},
        FileCase{"OutputOverInput", {"PLUGIN:drifton", "IN", "IN"}, "is the input file"},
        FileCase{"OutputOverInputByAnotherName",
                 {"PLUGIN:drifton", "IN", "/./in.wav"},
                 "is the input file"},
        FileCase{"UnknownOutputType", {"PLUGIN:drifton", "IN", "/out.mp3"}, "name a .wav or .flac"},
        FileCase{"FlacFloat",
                 {"PLUGIN:drifton", "--bits", "32", "IN", "/out.flac"},
                 "FLAC takes 16 or 24"},
        FileCase{"OneInputEffect", {"PLUGIN:mono", "IN", "KEEP"}, "has 1 inputs and 2 outputs"},
        FileCase{"NoEntryPoint", {"PLUGIN:none", "IN", "KEEP"}, "no VSTPluginMain entry point"},
        FileCase{"NotALibrary", {"PLUGIN:text", "IN", "KEEP"}, "cannot load"},
        FileCase{"PlotOverOutput",
                 {"PLUGIN:drifton", "--plot", "KEEP", "IN", "KEEP"},
                 "also an audio file"},
        // The audio is written first; the plot's folder is missing.
        FileCase{"PlotInMissingFolderKeepsTheAudioOutput",
                 {"PLUGIN:drifton", "--plot", "/none/plot.svg", "IN", "KEEP"},
                 "cannot write in folder"},
        FileCase{"TempoWithoutTransport",
                 {"PLUGIN:drifton", "--tempo", "90", "--no-transport", "IN", "KEEP"},
                 "--tempo: has no effect with --no-transport"},
        FileCase{"PlotLongerThanTheLimit",
                 {"PLUGIN:drifton", "--tempo", "1", "--plot-beats", "100000", "--plot", "/plot.svg",
                  "IN", "KEEP"},
                 "--plot-beats: 100000 beats at 1 BPM"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(RenderToolTest, PlotShowsBothGainsAndTheSettings) {
    const fs::path svg = dir / "sweep.svg";
    const Result result = runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--set", "Period=1/8", "--set",
                                   "Type=Square", "--tempo", "100", "--plot", svg.string()});
    ASSERT_EQ(0, result.status) << result.err;
    std::stringstream text;
    text << std::ifstream(svg).rdbuf();
    const std::string content = text.str();
    EXPECT_EQ(0u, content.rfind("<svg", 0));
    EXPECT_NE(std::string::npos, content.find("Period 1/8 \xC2\xB7 Type Square"));
    EXPECT_NE(std::string::npos, content.find("100 BPM"));
    EXPECT_NE(std::string::npos, content.find("time (s)"));
    EXPECT_EQ(2, [&] {
        int count = 0;
        for (auto at = content.find("<polyline"); at != std::string::npos;
             at = content.find("<polyline", at + 1)) {
            ++count;
        }
        return count;
    }());
    EXPECT_EQ((std::vector<std::string>{"sweep.svg"}), files());
}

// The executable itself: help, and a failing status for a bad option.
TEST(RenderExecutable, AnswersHelpAndRejectsBadOptions) {
    EXPECT_EQ(0, std::system((std::string(DRIFTON_RENDER_PATH) + " --help > /dev/null").c_str()));
    EXPECT_NE(0, std::system((std::string(DRIFTON_RENDER_PATH) + " --bogus 2> /dev/null").c_str()));
}

// --- Outputs: together, through links, with their modes --------------------

std::string contentOf(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

TEST_F(RenderToolTest, OutputThroughALinkWritesItsTargetAndKeepsTheLink) {
    writeAudio(dir / "in.wav", noise(3000, 2, 44100));
    fs::create_directories(dir / "real");
    std::ofstream(dir / "real" / "out.wav") << "old";
    fs::create_symlink("real/out.wav", dir / "out.wav");
    fs::create_symlink("real/new.wav", dir / "dangling.wav");
    for (const char* name : {"out.wav", "dangling.wav"}) {
        const Result result = runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet",
                                       (dir / "in.wav").string(), (dir / name).string()});
        ASSERT_EQ(0, result.status) << result.err;
        EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
    }
    EXPECT_EQ(3000u, readAudio(dir / "real" / "out.wav").frames());
    EXPECT_EQ(3000u, readAudio(dir / "real" / "new.wav").frames());
    EXPECT_EQ((std::vector<std::string>{"dangling.wav", "in.wav", "out.wav", "real"}), files());
}

TEST_F(RenderToolTest, ReplacedOutputsKeepTheirMode) {
    writeAudio(dir / "in.wav", noise(3000, 2, 44100));
    std::ofstream(dir / "out.wav") << "old";
    std::ofstream(dir / "plot.svg") << "old";
    ASSERT_EQ(0, ::chmod((dir / "out.wav").c_str(), 0640));
    ASSERT_EQ(0, ::chmod((dir / "plot.svg").c_str(), 0604));
    const Result result =
        runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet", "--plot", (dir / "plot.svg").string(),
                 (dir / "in.wav").string(), (dir / "out.wav").string()});
    ASSERT_EQ(0, result.status) << result.err;
    struct stat info {};
    ASSERT_EQ(0, ::stat((dir / "out.wav").c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);
    ASSERT_EQ(0, ::stat((dir / "plot.svg").c_str(), &info));
    EXPECT_EQ(0604u, info.st_mode & 07777);
    EXPECT_EQ(3000u, readAudio(dir / "out.wav").frames());
}

// A file without any write bit is refused, for root too (who may write it
// anyway): the user made it read-only on purpose.
TEST_F(RenderToolTest, ReadOnlyOutputsAreRefusedAndKept) {
    writeAudio(dir / "in.wav", noise(3000, 2, 44100));
    std::ofstream(dir / "out.wav") << "keep";
    std::ofstream(dir / "plot.svg") << "keep";
    for (const char* name : {"out.wav", "plot.svg"}) {
        ASSERT_EQ(0,
                  ::chmod((dir / "out.wav").c_str(), name == std::string("out.wav") ? 0444 : 0644));
        ASSERT_EQ(
            0, ::chmod((dir / "plot.svg").c_str(), name == std::string("plot.svg") ? 0444 : 0644));
        const Result result = runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet", "--plot",
                                       (dir / "plot.svg").string(), (dir / "in.wav").string(),
                                       (dir / "out.wav").string()});
        EXPECT_EQ(1, result.status);
        EXPECT_NE(std::string::npos, result.err.find(std::string(name) + "': is read-only"))
            << result.err;
        EXPECT_EQ("keep", contentOf(dir / "out.wav"));
        EXPECT_EQ("keep", contentOf(dir / "plot.svg"));
        EXPECT_EQ((std::vector<std::string>{"in.wav", "out.wav", "plot.svg"}), files());
    }
}

TEST_F(RenderToolTest, NoOutputIsReplacedWhenTheLastOneFails) {
    writeAudio(dir / "in.wav", noise(3000, 2, 44100));
    std::ofstream(dir / "out.wav") << "keep";
    fs::create_directories(dir / "plot.svg");  // a folder: the plot cannot be written
    const Result result =
        runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet", "--plot", (dir / "plot.svg").string(),
                 (dir / "in.wav").string(), (dir / "out.wav").string()});
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.err.find("is a folder")) << result.err;
    EXPECT_EQ("keep", contentOf(dir / "out.wav"));
    EXPECT_EQ((std::vector<std::string>{"in.wav", "out.wav", "plot.svg"}), files());
}

// --- Long WAV files --------------------------------------------------------

// With the plain WAV limit lowered for the test, a file that would come near
// it is written as RF64 and reads back whole; a small one stays plain WAV.
// Below libsndfile's own 4 GiB the RF64 file is turned back into a WAV
// (WAVE_FORMAT_EXTENSIBLE, with a JUNK chunk kept for the RF64 header): the
// slow test RenderLongWav shows a real RF64 file.
TEST_F(RenderToolTest, WavNearTheSizeLimitIsWrittenAsRf64) {
    writeAudio(dir / "in.wav", noise(30000, 2, 44100));
    render::setWavDataLimitForTests(64 * 1024);
    const Result result = runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet",
                                   (dir / "in.wav").string(), (dir / "out.wav").string()});
    render::setWavDataLimitForTests(render::kWavDataLimit);
    ASSERT_EQ(0, result.status) << result.err;
    const Audio out = readAudio(dir / "out.wav");
    EXPECT_EQ(SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, out.format);
    EXPECT_EQ(30000u, out.frames());
    EXPECT_EQ("RIFF", contentOf(dir / "out.wav").substr(0, 4));
    EXPECT_EQ("JUNK", contentOf(dir / "out.wav").substr(12, 4));

    ASSERT_EQ(0, runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet", (dir / "in.wav").string(),
                          (dir / "small.wav").string()})
                     .status);
    EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_FLOAT, readAudio(dir / "small.wav").format);
}

// A finished file that reads back shorter than written (as a WAV with
// wrapped size fields does) is an error, and replaces nothing.
TEST_F(RenderToolTest, OutputThatReadsBackShorterIsAnError) {
    writeAudio(dir / "in.wav", noise(30000, 2, 44100));
    std::ofstream(dir / "out.wav") << "keep";
    render::setBeforeReadBackForTests([](const char* path) {
        // What a wrapped 32-bit size field does: the header announces less.
        const std::string bytes = contentOf(path);
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(bytes.find("data") + 4));
        const std::uint32_t size = 1000 * 8;
        file.write(reinterpret_cast<const char*>(&size), 4);
    });
    const Result result = runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet",
                                   (dir / "in.wav").string(), (dir / "out.wav").string()});
    render::setBeforeReadBackForTests(nullptr);
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.err.find("reads back as 1000 frames of the 30000 written"))
        << result.err;
    EXPECT_EQ("keep", contentOf(dir / "out.wav"));
    EXPECT_EQ((std::vector<std::string>{"in.wav", "out.wav"}), files());
}

// --- Input -----------------------------------------------------------------

TEST_F(RenderToolTest, TruncatedInputIsRenderedWithAWarningGivingBothFrameCounts) {
    writeAudio(dir / "in.wav", noise(10000, 2, 44100));
    fs::resize_file(dir / "in.wav", fs::file_size(dir / "in.wav") - 8 * 6000);
    const Result result = runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet",
                                   (dir / "in.wav").string(), (dir / "out.wav").string()});
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("warning: '" + (dir / "in.wav").string() +
                                                 "': the file ends after 4000 of the 10000 frames"))
        << result.err;
    EXPECT_EQ(4000u, readAudio(dir / "out.wav").frames());
}

// --- Parameters of plug-ins that answer only once open ----------------------

TEST_F(ProbeTest, InfoAndSetWorkOnAPluginThatAnswersOnlyOnceOpen) {
    const Result info = runTool({"--plugin", DRIFTON_PROBE_PATH, "--info", "--set", "Depth=80"});
    ASSERT_EQ(0, info.status) << info.err;
    EXPECT_NE(std::string::npos, info.out.find("0  Depth = 80 %  (0.8000)")) << info.out;
    const Result render = renderProbe({"--set", "depth=25"}, 1000);
    ASSERT_EQ(0, render.status) << render.err;
    ASSERT_FALSE(log().empty());
    EXPECT_NEAR(0.25, log().front().depth, 1e-6);
}

TEST_F(RenderToolTest, ShapeNamesAsTheReadmeWritesThemAreAccepted) {
    for (const auto& [typed, shown] : {std::pair{"sine-shaped", "Sin"},
                                       {"sine", "Sin"},
                                       {"tri", "Triangle"},
                                       {"SQUARE", "Square"}}) {
        const Result result = runTool(
            {"--plugin", DRIFTON_PLUGIN_PATH, "--info", "--set", std::string("Type=") + typed});
        ASSERT_EQ(0, result.status) << typed << ": " << result.err;
        EXPECT_NE(std::string::npos, result.out.find(std::string("Type = ") + shown + " "))
            << typed;
    }
    // A prefix of two texts is no choice: "s" is Sin or Square.
    EXPECT_EQ(1, runTool({"--plugin", DRIFTON_PLUGIN_PATH, "--info", "--set", "Type=s"}).status);
}

// --- Progress --------------------------------------------------------------

TEST(RenderProgress, LineFitsTheTerminalWidth) {
    for (const int width : {200, 80, 60, 40, 20, 5, 1}) {
        for (const std::int64_t total : {std::int64_t{0}, std::int64_t{9000000000}}) {
            const std::string line = tools::progressLine(8999999999, total, 12345.0, width);
            EXPECT_LE(line.size(), static_cast<std::size_t>(std::max(width - 1, 0)))
                << width << ": " << line;
        }
    }
    EXPECT_NE(std::string::npos, tools::progressLine(50, 100, 3.0, 80).find("50 / 100 frames"));
    EXPECT_EQ('[', tools::progressLine(50, 100, 3.0, 80)[0]);
    // Not a terminal here: $COLUMNS decides.
    ::setenv("COLUMNS", "57", 1);
    EXPECT_EQ(57, tools::terminalColumns());
    ::unsetenv("COLUMNS");
}

// --- The plot --------------------------------------------------------------

// Labels along the top (beats) and the bottom (seconds), by x, for the plot's
// row `y`.
std::vector<std::pair<double, std::string>> labelsAt(const std::string& svg, const std::string& y) {
    std::vector<std::pair<double, std::string>> labels;
    const std::string marker = "\" y=\"" + y + "\" text-anchor=\"middle\"";
    for (auto at = svg.find(marker); at != std::string::npos; at = svg.find(marker, at + 1)) {
        const auto x = svg.rfind("x=\"", at) + 3;
        const auto open = svg.find('>', at) + 1;
        labels.emplace_back(std::stod(svg.substr(x, at - x)),
                            svg.substr(open, svg.find('<', open) - open));
    }
    return labels;
}

struct PlotSpan {
    const char* name;
    double startBeat;
    std::int64_t frames;
};

void PrintTo(const PlotSpan& c, std::ostream* os) { *os << c.name; }

class PlotLabels : public ::testing::TestWithParam<PlotSpan> {};

// At any length and any start the labels keep apart (7 pixels a character
// and a gap), and the picture stays small.
TEST_P(PlotLabels, NeverOverlapAndThePictureStaysSmall) {
    render::GainPlot plot;
    plot.startBeat = GetParam().startBeat;
    plot.frames = GetParam().frames;
    render::GainColumns columns(plot.frames);
    plot.left = columns.column(0);
    plot.right = columns.column(1);
    const auto started = std::chrono::steady_clock::now();
    const std::string svg = render::plotSvg(plot);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_LT(svg.size(), 200u * 1024u);
    for (const char* row : {"72", "366"}) {
        const auto labels = labelsAt(svg, row);
        // Beats beyond double resolution may all fall on one line.
        EXPECT_GE(labels.size(), row == std::string("72") ? 1u : 2u) << row;
        for (std::size_t i = 1; i < labels.size(); ++i) {
            const double room =
                3.5 * static_cast<double>(labels[i - 1].second.size() + labels[i].second.size());
            EXPECT_GE(labels[i].first - labels[i - 1].first, room + 2.0)
                << row << ": " << labels[i - 1].second << " and " << labels[i].second;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Spans, PlotLabels,
                         ::testing::Values(PlotSpan{"SixteenBeats", 0.0, 384000},
                                           PlotSpan{"LongestAt120Bpm", 0.0, 2400000000},
                                           PlotSpan{"LongestAt1BpmAnd768kHz", -3.0, 10000000000},
                                           PlotSpan{"StartNear1e16", 1e16, 384000},
                                           PlotSpan{"StartNearMinus1e300", -1e300, 384000},
                                           PlotSpan{"ShorterThanThePlotIsWide", 6.0, 100}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(GainColumnsTest, KeepMinimumAndMaximumOfEachColumnInOrder) {
    render::GainColumns columns(10000, 10);
    std::vector<float> left(10000), right(10000);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<float>(i);
        right[i] = -static_cast<float>(i);
    }
    // In uneven pieces, as blocks come.
    for (std::size_t done = 0, piece = 1; done < left.size();
         done += piece, piece = piece * 3 % 997 + 1) {
        const std::size_t n = std::min(piece, left.size() - done);
        columns.write(left.data() + done, right.data() + done, n);
    }
    for (int c = 0; c < 10; ++c) {
        const auto& l = columns.column(0)[static_cast<std::size_t>(c)];
        const auto& r = columns.column(1)[static_cast<std::size_t>(c)];
        EXPECT_EQ(1000.0f * static_cast<float>(c), l.low);
        EXPECT_EQ(1000.0f * static_cast<float>(c) + 999.0f, l.high);
        EXPECT_LT(l.lowFrame, l.highFrame);
        EXPECT_GT(r.lowFrame, r.highFrame);
    }
    // Fewer frames than columns: every column shows a frame.
    render::GainColumns few(3, 10);
    const float values[3] = {1.0f, 2.0f, 3.0f};
    few.write(values, values, 3);
    for (const auto& column : few.column(0)) {
        EXPECT_GE(column.lowFrame, 0);
    }
}

// --- The executable: signals, hangs, memory ---------------------------------

struct ChildRun {
    int status = -1;  // as waitpid gives it
    double seconds = 0.0;
    long maxRssKiB = 0;
    bool timedOut = false;
};

// Runs drifton-render with `args`, sends `signal` after `signalAfter` seconds
// (0: none), and ends it with SIGKILL after `limit` seconds.
ChildRun runChild(const std::vector<std::string>& args, double limit, int signal = 0,
                  double signalAfter = 0.0) {
    std::vector<std::string> all = {DRIFTON_RENDER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ChildRun run;
    bool signalled = signal == 0;
    std::chrono::steady_clock::time_point signalledAt;
    while (true) {
        int status = 0;
        rusage usage{};
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (done == pid) {
            run.status = status;
            run.maxRssKiB = usage.ru_maxrss;
            run.seconds =
                signal != 0
                    ? std::chrono::duration<double>(std::chrono::steady_clock::now() - signalledAt)
                          .count()
                    : elapsed;
            return run;
        }
        if (!signalled && elapsed >= signalAfter) {
            ::kill(pid, signal);
            signalled = true;
            signalledAt = std::chrono::steady_clock::now();
        }
        if (elapsed > limit && !run.timedOut) {
            run.timedOut = true;
            ::kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

class RenderSignals : public RenderToolTest, public ::testing::WithParamInterface<int> {};

// During a long plot, after the audio is rendered: both temporary files exist.
TEST_P(RenderSignals, OneSignalStopsWithinASecondAndLeavesNoFile) {
    const int signal = GetParam();
    const ChildRun run =
        runChild({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet", "--plot-beats", "100000", "--plot",
                  (dir / "plot.svg").string(), (dir / "out.wav").string()},
                 20.0, signal, 1.5);
    EXPECT_FALSE(run.timedOut);
    EXPECT_LT(run.seconds, 1.0) << strsignal(signal);
    EXPECT_TRUE(WIFSIGNALED(run.status) || (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 1))
        << run.status;
    EXPECT_TRUE(files().empty()) << strsignal(signal) << ": " << ::testing::PrintToString(files());
}

// During the audio render: a long, sparse (cheap) input.
TEST_P(RenderSignals, OneSignalDuringTheAudioLeavesNoFile) {
    const int signal = GetParam();
    {
        // 16-bit mono WAV of 200 million frames: a header and a hole.
        std::ofstream file(dir / "in.wav", std::ios::binary);
        const std::uint32_t frames = 200000000;
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
    fs::resize_file(dir / "in.wav", 44 + 2 * 200000000ull);
    const ChildRun run = runChild({"--plugin", DRIFTON_PLUGIN_PATH, "--quiet", "--bits", "16",
                                   (dir / "in.wav").string(), (dir / "out.wav").string()},
                                  20.0, signal, 1.0);
    EXPECT_FALSE(run.timedOut);
    EXPECT_LT(run.seconds, 1.0) << strsignal(signal);
    EXPECT_EQ((std::vector<std::string>{"in.wav"}), files()) << strsignal(signal);
}

INSTANTIATE_TEST_SUITE_P(Signals, RenderSignals,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1),
                         [](const auto& param) {
                             std::string name = sigabbrev_np(param.param);
                             return "SIG" + name;
                         });

// Extreme but accepted values finish in time proportional to the output.
TEST_F(RenderToolTest, ExtremeValuesDoNotHang) {
    const std::vector<std::vector<std::string>> cases = {
        {"--automate", "Width=0:0,1e15:100", "OUT"},
        {"--automate", "Width=-1e300:0,1e300:100", "OUT"},
        {"--start", "1e16", "--plot", "PLOT"},
        {"--start", "-1e300", "--automate", "Width=0:0,4:100", "OUT"},
        {"--start", "-1e300", "--plot", "PLOT"},
        {"--start", "1e300", "--automate", "Width=1e300:0", "--plot", "PLOT", "OUT"},
    };
    for (const auto& options : cases) {
        std::vector<std::string> args = {"--plugin", DRIFTON_PLUGIN_PATH, "--quiet"};
        for (const std::string& option : options) {
            args.push_back(option == "OUT"    ? (dir / "out.wav").string()
                           : option == "PLOT" ? (dir / "plot.svg").string()
                                              : option);
        }
        const ChildRun run = runChild(args, 20.0);
        EXPECT_FALSE(run.timedOut) << ::testing::PrintToString(options);
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0)
            << ::testing::PrintToString(options);
        fs::remove(dir / "out.wav");
        fs::remove(dir / "plot.svg");
    }
}

// The plot's memory does not grow with its length: 500 beats (12 million
// frames, 96 MB as the two float vectors the plot once kept) take no more
// than 16 beats. (The pass-through probe in long blocks keeps it quick; the
// slow tier measures the longest plot.)
TEST_F(RenderToolTest, PlotMemoryDoesNotGrowWithItsLength) {
    const auto peak = [&](const char* beats) {
        const ChildRun run =
            runChild({"--plugin", DRIFTON_PROBE_PATH, "--quiet", "--block", "65536", "--plot-beats",
                      beats, "--plot", (dir / "plot.svg").string()},
                     120.0);
        EXPECT_FALSE(run.timedOut);
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
        return run.maxRssKiB;
    };
    const long shortPlot = peak("16");
    const long longPlot = peak("500");
    std::printf("peak resident memory: %ld KiB for 16 beats, %ld KiB for 500 beats\n", shortPlot,
                longPlot);
    EXPECT_LT(longPlot - shortPlot, 8 * 1024);
}

}  // namespace
