// drifton-render, run in-process: bit identity with direct processing through
// the host library, the transport each block sees, parameter texts, files and
// their errors, automation timing. The probe effect reports what a plug-in sees.
#include "tools/render/render_tool.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/vst_host.h"
#include "probe_log.h"
#include "tools/render/parameters.h"
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
         {Case{2, "80", 0.8f}, Case{2, "0", 0.0f}, Case{2, "100 %", 1.0f}, Case{3, "-90", 0.25f},
          Case{3, "90\xC2\xB0", 0.75f}, Case{3, "-180", 0.0f}, Case{3, "0", 0.5f}}) {
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
        EXPECT_NE(std::string::npos, result.out.find("0 non-finite, 0 clipped")) << result.out;
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
                 "also an audio file"}),
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

}  // namespace
