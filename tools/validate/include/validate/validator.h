// drifton-validate as a library: named checks of what hosts do to a VST 2.4
// plug-in, each run in a child process with a time limit, and the report.
// The thin main in main.cpp parses options and prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace validate {

// What a plug-in declares beyond the interface, from options or a profile
// file; nothing is assumed for any plug-in.
struct Profile {
    double maxGain = 0.0;        // largest |out| / |in| per channel; 0: none declared
    int parameterTextLimit = 0;  // characters of parameter names, labels, displays; 0: none
    std::string source = "nothing declared";
};

struct Options {
    std::string pluginPath;
    int level = 3;  // 1..10, scales the iterations; hostile calls from level 5
    std::uint64_t seed = 0;
    std::vector<std::string> only;
    double timeLimitSeconds = 120.0;
    Profile profile;
    // The hostile check's first call, when it is started again after a crash.
    int resumeAt = 0;
};

// Reads a profile file into `profile`: lines "max-gain = G" and
// "text-limit = N", blank lines and '#' comments. Throws std::runtime_error
// with "FILE:LINE: reason" on anything else.
void readProfileFile(const std::string& path, Profile& profile);

enum class Status { Passed, Failed, Skipped };

// What the plug-in printed on its standard output and error during a check.
struct CapturedOutput {
    std::size_t lines = 0;
    std::size_t bytes = 0;
    std::vector<std::string> first;  // the first few lines
    std::vector<std::string> last;   // the last lines (after the first ones)
};

struct CheckResult {
    std::string name;
    Status status = Status::Passed;
    std::string tried;                  // what was done, in a few words
    std::vector<std::string> problems;  // the first few problems found
    std::size_t problemCount = 0;       // all problems, also those not kept
    std::vector<std::string> warnings;  // distinct warnings: what a host may mind, not faults
    std::size_t warningCount = 0;
    CapturedOutput output;
    double seconds = 0.0;
};

struct CheckInfo {
    const char* name;
    const char* summary;
    int minLevel;  // below it the full run skips the check; --only runs it anyway
};

// The checks, in the order the full run takes them.
const std::vector<CheckInfo>& checks();
bool isCheck(const std::string& name);

// What the plug-in says about itself, learned in a child process so that a
// crash on loading cannot take the validator down.
struct Identity {
    bool loaded = false;
    std::string error;  // when not loaded
    std::string name;
    std::string vendor;
    std::int32_t uniqueID = 0;
    std::int32_t numInputs = 0;
    std::int32_t numOutputs = 0;
    std::int32_t numParams = 0;
    std::int32_t flags = 0;
};
Identity identify(const Options& options);

// Runs one check in a child process; a crash, an abnormal exit or the time
// limit makes it fail with that reason. The hostile check starts a new
// child after each crash, from the call after the one that crashed.
CheckResult runIsolated(const std::string& name, const Options& options);

// What a child process runs: kIdentifyTask or a check's name, reporting
// through reportFd (a debugger can step through it this way).
inline constexpr const char* kIdentifyTask = "identify";
void runTask(const std::string& task, const Options& options, int reportFd);

// One line for a terminal: name, verdict, what was tried, first problems.
std::string describe(const CheckResult& result);
// Lines under it: warnings and the plug-in's output, summarised; empty
// when there is neither.
std::vector<std::string> describeDetails(const CheckResult& result);
// The machine-readable report.
std::string toJson(const Options& options, const Identity& identity,
                   const std::vector<CheckResult>& results);

// Four-character code as text, for example 'abcd'.
std::string fourCharText(std::int32_t code);

// True when editors may be opened: a display to open them on (DISPLAY or
// WAYLAND_DISPLAY on Linux; always on Windows).
bool hasDisplay();

}  // namespace validate
