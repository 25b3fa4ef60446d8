// Each check of drifton-validate must fail on the fault it exists for, and
// every check must pass on a correct plug-in: the fault-free build of the
// test effect and our own plug-in.
#include "validate/validator.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "validate/realtime_counters.h"
#include "vst/vst_records.h"

namespace {

std::string faulty(const std::string& fault) {
    return std::string(FAULTY_PLUGIN_DIR) + "/faulty_" + fault + ".so";
}

validate::Options lowLevel(const std::string& plugin) {
    validate::Options options;
    options.pluginPath = plugin;
    options.level = 1;
    options.seed = 20240611;
    options.timeLimitSeconds = 60.0;
    return options;
}

std::string problemsOf(const validate::CheckResult& result) {
    std::string text;
    for (const std::string& problem : result.problems) {
        text += "\n  " + problem;
    }
    return text;
}

bool mentionsAny(const validate::CheckResult& result, const std::vector<std::string>& words) {
    for (const std::string& problem : result.problems) {
        for (const std::string& word : words) {
            if (problem.find(word) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

struct FaultCase {
    const char* fault;
    const char* check;
    std::vector<std::string> evidence;  // one of these appears in a problem
    double maxGain = -1.0;
    double timeLimit = 60.0;
    bool needsCounting = false;
};

// Sanitizer builds may end a crashing child with their own report and exit
// status rather than the signal itself.
const std::vector<std::string> kDied = {"crashed with", "exited with status"};

std::vector<std::string> with(std::vector<std::string> words,
                              const std::vector<std::string>& more) {
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

const FaultCase kFaults[] = {
    {"crash_opcode", "hostile", with(kDied, {"effGetVendorString"})},
    {"text_overrun", "parameters", {"wrote past the end of a 256-byte buffer"}},
    {"text_overrun", "opcodes", {"effGetParamName"}},
    {"unterminated", "parameters", {"not terminated within a 256-byte buffer"}},
    {"nan_output", "audio", {"nan for finite input"}},
    {"subnormal_output", "audio", {"is subnormal"}},
    {"mxcsr", "fpmode", {"processReplacing (time", "changed MXCSR from 0x1f80 to 0x9fc0"}},
    {"alloc_in_process", "realtime", {"malloc x", "calloc x"}, -1.0, 60.0, true},
    {"lock_in_process", "realtime", {"pthread_mutex_lock x"}, -1.0, 60.0, true},
    {"leak_per_instance", "lifecycle", {"resident memory grew", "LeakSanitizer found leaks"}},
    {"thread_race", "threads", with(kDied, {"while parameters change"})},
    {"hang",
     "opcodes",
     {"no answer within the time limit of 3 s while: effGetVendorVersion"},
     -1.0,
     3.0},
    {"shared_state", "lifecycle", {"differs from it alone"}},
    {"no_resume", "hostile", with(kDied, {"before any resume"})},
    {"in_place", "audio", {"in place vs"}},
    {"gain_bound", "audio", {"above 1.41422"}, 1.41422},
    {"null_channels", "hostile", with(kDied, {"null"})},
    {"negative_frames", "hostile", with(kDied, {"frames"})},
    {"param_range", "hostile", {"outside 0..1"}},
    {"nan_parameter", "hostile", {"outside 0..1", "nan for finite input"}},
    // A crash names the call that crashed, in every check.
    {"crash_in_call", "fpmode", {"in dispatcher effGetTailSize (opcode 52)"}},
    {"crash_in_call", "opcodes", {"in dispatcher effGetTailSize (opcode 52)"}},
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.fault << " -> " << c.check; }

class FaultIsCaught : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultIsCaught, ByItsCheck) {
    const FaultCase& c = GetParam();
    if (c.needsCounting && !validate::rt::available()) {
        GTEST_SKIP() << "calls are not counted under a sanitizer";
    }
    validate::Options options = lowLevel(faulty(c.fault));
    options.profile.maxGain = std::max(c.maxGain, 0.0);
    options.timeLimitSeconds = c.timeLimit;
    const validate::CheckResult result = validate::runIsolated(c.check, options);
    EXPECT_EQ(validate::Status::Failed, result.status) << validate::describe(result);
    EXPECT_TRUE(mentionsAny(result, c.evidence))
        << validate::describe(result) << problemsOf(result);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultIsCaught, ::testing::ValuesIn(kFaults),
                         [](const auto& param) {
                             return std::string(param.param.fault) + "_" + param.param.check;
                         });

// Correct plug-ins pass every check, so a failure above comes from the fault
// and not from the effect around it. Our own plug-in passes with nothing
// declared; the others are correct behaviour a validator once failed: one
// input for two outputs, a long zero-padded name, a trylock while
// processing, NaN accepted from invalid values only (threads sends valid
// ones), an editor that needs a display (there is none in the test), and
// output on standard error.
struct CleanCase {
    const char* label;
    std::string plugin;
    double maxGain;
    const char* check;
};

std::vector<CleanCase> cleanCases() {
    std::vector<CleanCase> cases;
    for (const auto& check : validate::checks()) {
        if (std::string(check.name) == "hostile") {
            continue;
        }
        cases.push_back({"drifton", DRIFTON_PLUGIN_PATH, 0.0, check.name});
        cases.push_back({"faulty_none", faulty("none"), 1.0, check.name});
    }
    cases.push_back({"drifton", DRIFTON_PLUGIN_PATH, 0.0, "hostile"});
    cases.push_back({"faulty_none", faulty("none"), 1.0, "hostile"});
    for (const char* check : {"audio", "lifecycle", "fpmode", "hostile"}) {
        cases.push_back({"faulty_mono_in", faulty("mono_in"), 1.0, check});
    }
    cases.push_back({"faulty_long_text", faulty("long_text"), 1.0, "parameters"});
    cases.push_back({"faulty_long_text", faulty("long_text"), 1.0, "opcodes"});
    cases.push_back({"faulty_trylock_in_process", faulty("trylock_in_process"), 1.0, "realtime"});
    cases.push_back({"faulty_nan_parameter", faulty("nan_parameter"), 1.0, "threads"});
    for (const char* check : {"opcodes", "fpmode", "hostile"}) {
        cases.push_back(
            {"faulty_editor_needs_display", faulty("editor_needs_display"), 1.0, check});
    }
    cases.push_back({"faulty_noisy", faulty("noisy"), 1.0, "lifecycle"});
    return cases;
}

void PrintTo(const CleanCase& c, std::ostream* out) { *out << c.label << " " << c.check; }

class CorrectPluginPasses : public ::testing::TestWithParam<CleanCase> {
protected:
    // Editors without a display are skipped, not tried.
    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
};

TEST_P(CorrectPluginPasses, EveryCheck) {
    const CleanCase& c = GetParam();
    validate::Options options = lowLevel(c.plugin);
    options.profile.maxGain = c.maxGain;
    const validate::CheckResult result = validate::runIsolated(c.check, options);
    EXPECT_NE(validate::Status::Failed, result.status)
        << validate::describe(result) << problemsOf(result);
    if (validate::rt::available() || std::string(c.check) != "realtime") {
        EXPECT_EQ(validate::Status::Passed, result.status) << validate::describe(result);
    }
}

INSTANTIATE_TEST_SUITE_P(Clean, CorrectPluginPasses, ::testing::ValuesIn(cleanCases()),
                         [](const auto& param) {
                             return std::string(param.param.label) + "_" + param.param.check;
                         });

bool warned(const validate::CheckResult& result, const std::string& word) {
    for (const std::string& warning : result.warnings) {
        if (warning.find(word) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A long text in a big buffer passes with a warning; declared limits bind.
TEST(ValidatorTexts, LongTextWarnsUnlessALimitIsDeclared) {
    validate::Options options = lowLevel(faulty("long_text"));
    const auto free = validate::runIsolated("parameters", options);
    EXPECT_EQ(validate::Status::Passed, free.status) << validate::describe(free);
    EXPECT_TRUE(warned(free, "has 39 characters, more than the interface's 8"))
        << validate::describeDetails(free).front();
    options.profile.parameterTextLimit = 16;
    const auto limited = validate::runIsolated("parameters", options);
    EXPECT_EQ(validate::Status::Failed, limited.status);
    EXPECT_TRUE(mentionsAny(limited, {"wrote 200 bytes, past its declared limit of 16"}))
        << validate::describe(limited);
}

// Hostile calls go on after a crash: one build crashes on a null vendor
// text and also lets parameters out of range; both are reported.
TEST(ValidatorHostile, ACrashHidesNoOtherCall) {
    const auto result = validate::runIsolated("hostile", lowLevel(faulty("hostile_two")));
    ASSERT_EQ(validate::Status::Failed, result.status);
    EXPECT_TRUE(mentionsAny(result, {"in dispatcher effGetVendorString (opcode 47)"}))
        << validate::describe(result) << problemsOf(result);
    EXPECT_TRUE(mentionsAny(result, {"outside 0..1"})) << problemsOf(result);
    EXPECT_NE(std::string::npos, result.tried.find("hostile calls")) << result.tried;
}

// The plug-in's own output is kept out of the report and summarised.
TEST(ValidatorOutput, IsCapturedPerCheck) {
    const auto result = validate::runIsolated("lifecycle", lowLevel(faulty("noisy")));
    EXPECT_GE(result.output.lines, 600u);  // on and off for every cycle
    ASSERT_FALSE(result.output.first.empty());
    EXPECT_EQ("noisy effect: mains on", result.output.first.front());
    EXPECT_FALSE(result.output.last.empty());
}

// The same seed sends the same calls with the same values, so every check
// but threads gives the same report twice.
class ValidatorReplay : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(ValidatorReplay, IsExactForASeed) {
    validate::Options options = lowLevel(faulty(GetParam().first));
    options.level = 5;
    options.profile.maxGain = 1.0;
    const auto first = validate::runIsolated(GetParam().second, options);
    const auto second = validate::runIsolated(GetParam().second, options);
    EXPECT_EQ(first.problems, second.problems);
    EXPECT_EQ(first.problemCount, second.problemCount);
    EXPECT_EQ(first.warnings, second.warnings);
    EXPECT_EQ(first.tried, second.tried);
}

INSTANTIATE_TEST_SUITE_P(Checks, ValidatorReplay,
                         ::testing::Values(std::make_pair("gain_bound", "audio"),
                                           std::make_pair("hostile_two", "hostile"),
                                           std::make_pair("long_text", "parameters"),
                                           std::make_pair("long_text", "opcodes"),
                                           std::make_pair("none", "fpmode")),
                         [](const auto& param) {
                             return std::string(param.param.first) + "_" + param.param.second;
                         });

// Threads: a fixed number of changes from the other thread; the audio
// thread's count is at least its minimum and said as such.
TEST(ValidatorThreads, CountsWhatItDid) {
    const auto result = validate::runIsolated("threads", lowLevel(faulty("none")));
    ASSERT_EQ(validate::Status::Passed, result.status) << validate::describe(result);
    long changes = 0;
    long blocks = 0;
    long minimum = 0;
    ASSERT_EQ(3, std::sscanf(result.tried.c_str(),
                             "%ld valid parameter changes with read-backs and texts on one thread "
                             "while another processed %ld blocks (at least %ld)",
                             &changes, &blocks, &minimum))
        << result.tried;
    EXPECT_EQ(2000, changes);
    EXPECT_EQ(500, minimum);
    EXPECT_GE(blocks, minimum);
}

struct ProfileCase {
    const char* text;
    double maxGain;
    int textLimit;
    const char* error;  // part of the error, or null when it reads
};

void PrintTo(const ProfileCase& c, std::ostream* out) { *out << c.text; }

class ValidatorProfiles : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ValidatorProfiles, ReadOrRefuseWithTheLine) {
    const ProfileCase& c = GetParam();
    const std::string path = ::testing::TempDir() + "validator.profile";
    std::ofstream(path) << c.text;
    validate::Profile profile;
    if (c.error == nullptr) {
        validate::readProfileFile(path, profile);
        EXPECT_EQ(c.maxGain, profile.maxGain);
        EXPECT_EQ(c.textLimit, profile.parameterTextLimit);
        EXPECT_EQ("profile " + path, profile.source);
    } else {
        try {
            validate::readProfileFile(path, profile);
            ADD_FAILURE() << "read without an error";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string::npos, std::string(error.what()).find(c.error)) << error.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ValidatorProfiles,
    ::testing::Values(ProfileCase{"# ours\nmax-gain = 1.41422\n\ntext-limit=16 # texts\n", 1.41422,
                                  16, nullptr},
                      ProfileCase{"text-limit = 12\n", 0.0, 12, nullptr},
                      ProfileCase{"max-gain = 1\ngain = 2\n", 0, 0, ":2: unknown key 'gain'"},
                      ProfileCase{"max-gain = loud\n", 0, 0, ":1: max-gain: not a valid value"},
                      ProfileCase{"text-limit = 0\n", 0, 0, ":1: text-limit: not a valid value"},
                      ProfileCase{"max-gain 2\n", 0, 0, ":1: expected 'key = value'"}));

// The command line: exit status, one-line errors, the JSON report.
struct ToolRun {
    int status;
    std::string output;
};

ToolRun runTool(const std::string& arguments) {
    const std::string command = std::string(VALIDATE_TOOL) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ToolRun run{-1, ""};
    char buffer[4096];
    while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr) {
        run.output += buffer;
    }
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

struct UsageCase {
    const char* arguments;
    int status;
    const char* message;
};

void PrintTo(const UsageCase& c, std::ostream* out) { *out << c.arguments; }

class ToolUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(ToolUsage, ExitStatusAndMessage) {
    const UsageCase& c = GetParam();
    const ToolRun run = runTool(c.arguments);
    EXPECT_EQ(c.status, run.status) << run.output;
    EXPECT_NE(std::string::npos, run.output.find(c.message)) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ToolUsage,
    ::testing::Values(UsageCase{"--help", 0, "Usage: drifton-validate"},
                      UsageCase{"--level 11", 2, "--level: 11 is outside 1..10"},
                      UsageCase{"--only nothing", 2, "--only: no check named 'nothing'"},
                      UsageCase{"--seed", 2, "--seed: missing value"},
                      UsageCase{"--frobnicate", 2, "--frobnicate: unknown option"},
                      UsageCase{"--plugin /nonexistent/x.so", 1, "/nonexistent/x.so"},
                      UsageCase{"--profile /nonexistent/p", 2, "--profile: /nonexistent/p:"},
                      UsageCase{"--level 1 --seed 5 --only parameters,fpmode", 0,
                                "2 passed, 0 failed"},
                      // Nothing is assumed about any plug-in, ours included.
                      UsageCase{"--level 1 --seed 5 --only audio", 0,
                                "declared  no gain bound, texts judged by the text (nothing "
                                "declared)"}));

// Hostile calls run from level 5 only: below it a plug-in that crashes on
// them passes every check.
TEST(ToolLevels, HostileCallsFromLevelFive) {
    const std::string plugin = "--plugin " + faulty("crash_opcode") + " --seed 3 --time-limit 60";
    const ToolRun three = runTool(plugin + " --level 3");
    EXPECT_EQ(0, three.status) << three.output;
    EXPECT_NE(std::string::npos, three.output.find("SKIP  hostile")) << three.output;
    const ToolRun five = runTool(plugin + " --level 5 --only hostile");
    EXPECT_EQ(1, five.status) << five.output;
    EXPECT_NE(std::string::npos, five.output.find("FAIL  hostile")) << five.output;
}

TEST(ToolReport, JsonIntoAMissingFolderFailsBeforeAnyCheck) {
    const ToolRun run = runTool("--level 1 --json /nonexistent/folder/report.json");
    EXPECT_EQ(1, run.status) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("--json")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("/nonexistent/folder")) << run.output;
    EXPECT_EQ(std::string::npos, run.output.find("PASS")) << run.output;
}

// The plug-in's chatter stays out of the report lines: one summary line.
TEST(ToolReport, SummarisesThePluginsOutput) {
    const ToolRun run = runTool("--plugin " + faulty("noisy") + " --level 1 --only lifecycle");
    EXPECT_EQ(0, run.status) << run.output;
    EXPECT_EQ(std::string::npos, run.output.find("\nnoisy effect")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("the plug-in printed")) << run.output;
}

TEST(ToolReport, JsonMatchesTheLinesAndFailsTheExitStatus) {
    const std::string path = ::testing::TempDir() + "validator_report.json";
    std::remove(path.c_str());
    const ToolRun run = runTool("--plugin " + faulty("param_range") +
                                " --level 1 --seed 9 --only parameters,hostile --json " + path);
    EXPECT_EQ(1, run.status) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("1 passed, 1 failed")) << run.output;
    std::ifstream in(path);
    ASSERT_TRUE(in.good());
    const auto report = nlohmann::json::parse(in);
    EXPECT_EQ(1, report["failed"]);
    EXPECT_EQ("nothing declared", report["profile"]["source"]);
    EXPECT_EQ(9, report["seed"]);
    EXPECT_EQ("fLtY", report["plugin"]["uniqueID"]);
    EXPECT_EQ("passed", report["checks"][0]["status"]);
    EXPECT_EQ("parameters", report["checks"][0]["name"]);
    EXPECT_EQ("failed", report["checks"][1]["status"]);
    EXPECT_EQ("hostile", report["checks"][1]["name"]);
    std::ifstream leftover(path + ".tmp");
    EXPECT_FALSE(leftover.good());
}

}  // namespace
