// drifton-render through the LV2 edition: the same input, settings and
// transport give the VST edition's output; --info shows the LV2 ports; a
// bundle that cannot be loaded fails with one line.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/render/render_tool.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result runTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = render::runRenderTool(args, out, err);
    return Result{status, out.str(), err.str()};
}

std::vector<float> readSamples(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

class RenderLv2Test : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("drifton-render-lv2-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

// One render through each edition with the same options.
struct EquivalenceCase {
    const char* what;
    std::vector<std::string> options;
};

const EquivalenceCase kEquivalence[] = {
    {"defaults, the built-in demo at 120", {}},
    {"settings by name and text, random blocks",
     {"--set", "Period=1/8", "--set", "Width=80", "--set", "Type=Square", "--set", "PhaseShift=-90",
      "--tempo", "96", "--random-blocks", "5"}},
    {"LV2 symbols and VST names alike, a count-in",
     {"--set", "period=1/16", "--set", "type=tri", "--tempo", "174", "--start", "-6.5", "--block",
      "77"}},
    {"automation in 32-frame pieces",
     {"--automate", "Width=0:0,8:100", "--automate", "PhaseShift=2:-180,12:180", "--set",
      "Type=sine-shaped", "--block", "1000"}},
    {"an index with a normalised value", {"--set", "2=0.8", "--set", "3=0.25", "--tempo", "60"}},
    {"no transport: free running at 120", {"--no-transport", "--set", "Period=1/2"}},
};

class RenderBothEditions : public RenderLv2Test,
                           public ::testing::WithParamInterface<EquivalenceCase> {};

TEST_P(RenderBothEditions, GiveTheSameOutput) {
    const EquivalenceCase& c = GetParam();
    std::vector<fs::path> outputs;
    for (const std::string plugin : {DRIFTON_PLUGIN_PATH, DRIFTON_LV2_BUNDLE}) {
        outputs.push_back(dir / (std::to_string(outputs.size()) + ".wav"));
        std::vector<std::string> args = {"--quiet", "--plugin", plugin};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(outputs.back().string());
        const Result r = runTool(args);
        ASSERT_EQ(0, r.status) << c.what << ": " << plugin << ": " << r.err;
    }
    const std::vector<float> vst = readSamples(outputs[0]);
    const std::vector<float> lv2 = readSamples(outputs[1]);
    ASSERT_EQ(vst.size(), lv2.size()) << c.what;
    ASSERT_GT(vst.size(), 48000u) << c.what;
    double worst = 0.0, peak = 0.0;
    for (std::size_t i = 0; i < vst.size(); ++i) {
        worst =
            std::fmax(worst, std::fabs(static_cast<double>(vst[i]) - static_cast<double>(lv2[i])));
        peak = std::fmax(peak, std::fabs(static_cast<double>(vst[i])));
    }
    EXPECT_LE(worst, 1e-6) << c.what;
    EXPECT_GT(peak, 0.1) << c.what
                         << ": the demo must be audible for the comparison to mean anything";
}

INSTANTIATE_TEST_SUITE_P(Options, RenderBothEditions, ::testing::ValuesIn(kEquivalence));

TEST_F(RenderLv2Test, SettingsChangeTheLv2Output) {
    // The options reach the LV2 controls: another width sounds different.
    const fs::path a = dir / "a.wav", b = dir / "b.wav";
    ASSERT_EQ(0,
              runTool({"--quiet", "--plugin", DRIFTON_LV2_BUNDLE, "--set", "Width=0", a}).status);
    ASSERT_EQ(0,
              runTool({"--quiet", "--plugin", DRIFTON_LV2_BUNDLE, "--set", "Width=100", b}).status);
    EXPECT_NE(readSamples(a), readSamples(b));
}

TEST_F(RenderLv2Test, InfoListsTheFourControlPorts) {
    const Result r = runTool({"--plugin", DRIFTON_LV2_BUNDLE, "--info", "--set", "Width=80"});
    ASSERT_EQ(0, r.status) << r.err;
    // Index, name, symbol, the value now, range, default, scale points.
    for (const char* line : {
             "  0  Period (period) = 1/4  [0 .. 11, default 1/4]",
             "        0=1/1 1=1/2 2=1/3 3=1/4 4=1/6 5=1/8 6=1/12 7=1/16 8=1/24 9=1/32 10=1/48 "
             "11=1/64",
             "  1  Type (type) = Sin  [0 .. 2, default Sin]",
             "        0=Triangle 1=Sin 2=Square",
             "  2  Width (width) = 80 %  [0 .. 100, default 75 %]",
             "  3  PhaseShift (phase) = 0\xC2\xB0  [-180 .. 180, default 0\xC2\xB0]",
             "URI:      urn:kq-lum-vee:drifton",
             "Channels: 2 in, 2 out",
             "  8  time  atom in",
         }) {
        EXPECT_NE(std::string::npos, r.out.find(line)) << line << "\nin:\n" << r.out;
    }
}

TEST_F(RenderLv2Test, AUriIsFoundOnLv2Path) {
    const char* old = std::getenv("LV2_PATH");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("LV2_PATH", fs::path(DRIFTON_LV2_BUNDLE).parent_path().c_str(), 1);
    const Result found = runTool({"--plugin", "urn:kq-lum-vee:drifton", "--info"});
    ::setenv("LV2_PATH", dir.c_str(), 1);
    const Result missing = runTool({"--plugin", "urn:kq-lum-vee:drifton", "--info"});
    if (old != nullptr) {
        ::setenv("LV2_PATH", saved.c_str(), 1);
    } else {
        ::unsetenv("LV2_PATH");
    }
    EXPECT_EQ(0, found.status) << found.err;
    EXPECT_NE(std::string::npos, found.out.find("Name:     K'q Drifton")) << found.out;
    EXPECT_EQ(1, missing.status);
    EXPECT_EQ("drifton-render: urn:kq-lum-vee:drifton: no such LV2 plug-in in LV2_PATH (" +
                  dir.string() + ")\n",
              missing.err);
}

TEST_F(RenderLv2Test, ABadBundleFailsWithOneLineAndNoOutput) {
    fs::create_directories(dir / "empty.lv2");
    fs::create_directories(dir / "garbled.lv2");
    std::ofstream(dir / "garbled.lv2" / "manifest.ttl") << "this is { not Turtle\n";
    fs::create_directories(dir / "nobinary.lv2");
    for (const char* file : {"manifest.ttl", "kq-drifton.ttl"}) {
        fs::copy_file(fs::path(DRIFTON_LV2_BUNDLE) / file, dir / "nobinary.lv2" / file);
    }
    struct Row {
        fs::path bundle;
        const char* says;
    };
    const Row rows[] = {
        {dir / "missing.lv2", "no such LV2 bundle folder"},
        {dir / "empty.lv2", "not an LV2 bundle (no manifest.ttl)"},
        {dir / "garbled.lv2", "holds no LV2 plug-in"},
        {dir / "nobinary.lv2", "refused to instantiate"},
    };
    for (const Row& row : rows) {
        const fs::path output = dir / "out.wav";
        const Result r = runTool({"--plugin", row.bundle.string(), output.string()});
        EXPECT_EQ(1, r.status) << row.bundle;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
        EXPECT_EQ(0u, r.err.find("drifton-render: ")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(row.says)) << r.err;
        EXPECT_FALSE(fs::exists(output)) << row.bundle;
    }
}

TEST_F(RenderLv2Test, WrongNamesAndValuesListTheValidOnes) {
    const struct {
        std::vector<std::string> set;
        const char* says;
    } rows[] = {
        {{"--set", "Speed=1"},
         "--set Speed=1: no parameter 'Speed'; valid names: Period (period), Type (type), Width "
         "(width), PhaseShift (phase) (or an index 0..3)"},
        {{"--set", "Width=120"},
         "--set Width=120: Width has no value '120'; valid values: 0 .. 100 %"},
        {{"--set", "type=saw"},
         "--set type=saw: Type has no value 'saw'; valid values: Triangle, Sin, Square"},
        {{"--set", "Period=1/5"},
         "--set Period=1/5: Period has no value '1/5'; valid values: 1/1, 1/2"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = {"--plugin", DRIFTON_LV2_BUNDLE};
        args.insert(args.end(), row.set.begin(), row.set.end());
        args.push_back((dir / "out.wav").string());
        const Result r = runTool(args);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ(0u, r.err.find(std::string("drifton-render: ") + row.says)) << r.err;
    }
}

}  // namespace
