// drifton-validate as a library: named checks of what hosts do to a VST 2.4
// plug-in, each run in a child process with a time limit, and the report.
// The thin main in validate_main.cpp parses options and prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace validate {

// What a plug-in declares beyond the interface. A bound applies only where
// declared: by options, or by the table of known plug-ins keyed by unique ID
// and effect name.
struct Profile {
    double maxGain = 0.0;        // largest |out| / |in| per channel; 0: none declared
    int parameterTextLimit = 8;  // characters of parameter names, labels, displays
    std::string source = "interface defaults";
};

struct Options {
    std::string pluginPath;
    int level = 3;  // 1..10, scales the iterations
    std::uint64_t seed = 0;
    std::vector<std::string> only;
    double timeLimitSeconds = 120.0;
    double maxGain = -1.0;  // below 0: not given, the profile decides
    int textLimit = -1;     // below 0: not given, the profile decides
};

enum class Status { Passed, Failed, Skipped };

struct CheckResult {
    std::string name;
    Status status = Status::Passed;
    std::string tried;                  // what was done, in a few words
    std::vector<std::string> problems;  // the first few problems found
    std::size_t problemCount = 0;       // all problems, also those not kept
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
    Profile profile;
};
Identity identify(const Options& options);

// The profile for a plug-in: the known-plug-in table, then the options.
Profile resolveProfile(std::int32_t uniqueID, const std::string& effectName,
                       const Options& options);

// Runs one check in a child process; a crash, an abnormal exit or the time
// limit makes it fail with that reason.
CheckResult runIsolated(const std::string& name, const Options& options);

// Runs the check in this process, reporting through reportFd (what the
// child does; a debugger can step through it this way).
void runInProcess(const std::string& name, const Options& options, int reportFd);

// What a child process runs: kIdentifyTask or a check's name.
inline constexpr const char* kIdentifyTask = "identify";
void runTask(const std::string& task, const Options& options, int reportFd);

// One line for a terminal: name, verdict, what was tried, first problems.
std::string describe(const CheckResult& result);
// The machine-readable report.
std::string toJson(const Options& options, const Identity& identity,
                   const std::vector<CheckResult>& results);

// Four-character code as text, for example 'rpvn'.
std::string fourCharText(std::int32_t code);

}  // namespace validate
