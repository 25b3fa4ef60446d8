// Each check of drifton-validate must fail on the fault it exists for, and
// every check must pass on a correct plug-in: the fault-free build of the
// test effect and our own plug-in.
#include "tools/validate/validator.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tools/validate/realtime_counters.h"
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
    {"crash_opcode", "opcodes", with(kDied, {"effGetVendorString"})},
    {"text_overrun", "parameters", {"bytes, limit 8 characters"}},
    {"text_overrun", "opcodes", {"effGetParamName"}},
    {"nan_output", "audio", {"nan for finite input"}},
    {"subnormal_output", "audio", {"is subnormal"}},
    {"mxcsr", "fpmode", {"processReplacing (time", "changed MXCSR from 0x1f80 to 0x9fc0"}},
    {"alloc_in_process", "realtime", {"malloc x", "calloc x"}, -1.0, 60.0, true},
    {"lock_in_process", "realtime", {"pthread_mutex_lock x"}, -1.0, 60.0, true},
    {"leak_per_instance", "lifecycle", {"resident memory grew", "LeakSanitizer found leaks"}},
    {"thread_race", "threads", with(kDied, {"while parameters change"})},
    {"hang", "opcodes", {"no answer within the time limit of 3 s while: opcode 49"}, -1.0, 3.0},
    {"shared_state", "lifecycle", {"differs from it alone"}},
    {"no_resume", "lifecycle", with(kDied, {"before any resume"})},
    {"in_place", "audio", {"in place vs"}},
    {"gain_bound", "audio", {"above 1.41422"}, 1.41422},
    {"null_channels", "audio", with(kDied, {"null"})},
    {"negative_frames", "audio", with(kDied, {"frames"})},
    {"param_range", "parameters", {"outside 0..1"}},
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.fault << " -> " << c.check; }

class FaultIsCaught : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultIsCaught, ByItsCheck) {
    const FaultCase& c = GetParam();
    if (c.needsCounting && !validate::rt::available()) {
        GTEST_SKIP() << "calls are not counted under a sanitizer";
    }
    validate::Options options = lowLevel(faulty(c.fault));
    options.maxGain = c.maxGain;
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

// Both correct plug-ins pass every check, so a failure above comes from the
// fault and not from the effect around it.
struct CleanCase {
    const char* label;
    std::string plugin;
    double maxGain;
    const char* check;
};

std::vector<CleanCase> cleanCases() {
    std::vector<CleanCase> cases;
    for (const auto& check : validate::checks()) {
        cases.push_back({"drifton", DRIFTON_PLUGIN_PATH, -1.0, check.name});
        cases.push_back({"faulty_none", faulty("none"), 1.0, check.name});
    }
    return cases;
}

void PrintTo(const CleanCase& c, std::ostream* out) { *out << c.label << " " << c.check; }

class CorrectPluginPasses : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CorrectPluginPasses, EveryCheck) {
    const CleanCase& c = GetParam();
    validate::Options options = lowLevel(c.plugin);
    options.maxGain = c.maxGain;
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

TEST(ValidatorRuns, AreDeterministicForASeed) {
    const validate::Options options = lowLevel(faulty("gain_bound"));
    validate::Options bounded = options;
    bounded.maxGain = 1.0;
    const auto first = validate::runIsolated("audio", bounded);
    const auto second = validate::runIsolated("audio", bounded);
    ASSERT_EQ(validate::Status::Failed, first.status);
    EXPECT_EQ(first.problems, second.problems);
    EXPECT_EQ(first.problemCount, second.problemCount);
    EXPECT_EQ(first.tried, second.tried);
}

TEST(ValidatorProfiles, KnownPluginAndOptions) {
    const validate::Options none;
    const auto ours =
        validate::resolveProfile(fourCharCode('r', 'p', 'v', 'n'), "K'q Drifton", none);
    EXPECT_DOUBLE_EQ(1.41422, ours.maxGain);
    EXPECT_EQ(16, ours.parameterTextLimit);
    // Same ID, another name: nothing is assumed.
    const auto impostor = validate::resolveProfile(fourCharCode('r', 'p', 'v', 'n'), "Other", none);
    EXPECT_EQ(0.0, impostor.maxGain);
    EXPECT_EQ(8, impostor.parameterTextLimit);
    validate::Options declared;
    declared.maxGain = 2.0;
    declared.textLimit = 12;
    const auto overridden =
        validate::resolveProfile(fourCharCode('r', 'p', 'v', 'n'), "K'q Drifton", declared);
    EXPECT_EQ(2.0, overridden.maxGain);
    EXPECT_EQ(12, overridden.parameterTextLimit);
}

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
                      UsageCase{"--level 1 --seed 5 --only parameters,fpmode", 0,
                                "2 passed, 0 failed"}));

TEST(ToolReport, JsonMatchesTheLinesAndFailsTheExitStatus) {
    const std::string path = ::testing::TempDir() + "validator_report.json";
    std::remove(path.c_str());
    const ToolRun run = runTool("--plugin " + faulty("param_range") +
                                " --level 1 --seed 9 --only parameters,fpmode --json " + path);
    EXPECT_EQ(1, run.status) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("1 passed, 1 failed")) << run.output;
    std::ifstream in(path);
    ASSERT_TRUE(in.good());
    const auto report = nlohmann::json::parse(in);
    EXPECT_EQ(1, report["failed"]);
    EXPECT_EQ(9, report["seed"]);
    EXPECT_EQ("fLtY", report["plugin"]["uniqueID"]);
    EXPECT_EQ("failed", report["checks"][0]["status"]);
    EXPECT_EQ("parameters", report["checks"][0]["name"]);
    std::ifstream leftover(path + ".tmp");
    EXPECT_FALSE(leftover.good());
}

}  // namespace
