// drifton-validate: runs the named checks against a VST 2.4 plug-in and
// prints one line per check and a closing count; exit status 0 only when
// nothing failed.
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "drifton_version.h"
#include "platform.h"
#include "tools/common/cli.h"
#include "tools/common/output_file.h"
#include "tools/common/plugin_file.h"
#include "validate/validator.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

#if defined(_WIN32)
constexpr const char* kAbout = R"(
Checks that a VST 2.4 plug-in for Windows survives what hosts do to it. Each
check runs in a child process: a crash or a hang fails that check only, and
names the call. The realtime check counts C library calls only in the Linux
build; here it is skipped.
)";
#else
constexpr const char* kAbout = R"(
Checks that a VST 2.4 plug-in for Linux survives what hosts do to it. Each
check runs in a child process: a crash or a hang fails that check only, and
names the call. The plug-in's own output is captured and summarised per check.
Editor calls are skipped without a display (DISPLAY); to include them run
under a virtual one, for example: xvfb-run -a drifton-validate ...
)";
#endif

bool stderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void printHelp() {
    std::cout << "Usage: drifton-validate [options]\n"
              << kAbout <<
        R"(
Options:
  --plugin PATH      the plug-in file (default: the K'q Drifton plug-in built or
                     installed beside this tool)
  --level N          1..10, more iterations at higher levels (default 3); checks
                     with a higher minimum level are skipped unless named in --only;
                     the hostile check (calls no host should make) runs from 5
  --seed N           seed of every random choice (default: a new one, printed)
  --only CHECK       run only this check; repeat or separate with commas
  --json FILE        also write the report as JSON to FILE
  --time-limit S     seconds each check may take (default 120)
  --profile FILE     read declared bounds from FILE: lines 'max-gain = G' and
                     'text-limit = N' (# comments); later options override it
  --max-gain G       declare that no output channel exceeds G x its input
  --text-limit N     declare the longest parameter name, label or display: writing
                     past it fails (without it, longer texts are only warnings)
  --list             list the checks and exit
  --help             show this help and exit
  --version          print the release number and exit

Every check but threads replays exactly with the same --level and --seed;
threads replays its calls and values, but not how the two threads interleave.

Exit status: 0 when no check failed, 1 when one did, 2 on a usage error.
)";
}

void printList() {
    for (const auto& check : validate::checks()) {
        std::printf("%-11s %s%s\n", check.name, check.summary,
                    check.minLevel > 1
                        ? (" (from level " + std::to_string(check.minLevel) + ")").c_str()
                        : "");
    }
}

std::vector<std::string> splitNames(const std::string& text) {
    std::vector<std::string> names = tools::split(text, ',');
    for (const std::string& name : names) {
        if (!validate::isCheck(name)) {
            throw tools::ToolError("--only: no check named " + tools::quoted(name) +
                                   " (see --list)");
        }
    }
    return names;
}

double realInRange(const std::string& option, const std::string& text, double low, double high) {
    const double value = tools::parseNumber(option, text);
    if (!(value >= low && value <= high)) {
        throw tools::ToolError(option + ": expected a number from " + std::to_string(low) + " to " +
                               std::to_string(high) + ", got " + tools::quoted(text));
    }
    return value;
}

struct Command {
    validate::Options options;
    std::string jsonPath;
    bool help = false;
    bool version = false;
    bool list = false;
    std::string childTask;     // Windows: run this task as a check's child process
    std::string reportHandle;  // Windows: the pipe the child reports through
};

Command parse(int argc, char** argv) {
    Command command;
    command.options.seed = std::random_device{}();
    tools::ArgCursor args(argc, argv);
    while (!args.done()) {
        bool isOption = false;
        const std::string option = args.take(isOption);
        if (!isOption) {
            throw tools::ToolError(tools::quoted(option) + ": unexpected argument (see --help)");
        }
        const auto value = [&] { return args.value(option); };
        if (option == "--help" || option == "-h") {
            command.help = true;
        } else if (option == "--version") {
            command.version = true;
        } else if (option == "--list") {
            command.list = true;
        } else if (option == "--plugin") {
            command.options.pluginPath = value();
        } else if (option == "--level") {
            command.options.level = static_cast<int>(tools::parseInteger(option, value(), 1, 10));
        } else if (option == "--seed") {
            command.options.seed = static_cast<std::uint64_t>(
                tools::parseInteger(option, value(), 0, std::numeric_limits<long long>::max()));
        } else if (option == "--only") {
            for (const std::string& name : splitNames(value())) {
                command.options.only.push_back(name);
            }
        } else if (option == "--json") {
            command.jsonPath = value();
        } else if (option == "--time-limit") {
            command.options.timeLimitSeconds = realInRange(option, value(), 0.1, 86400.0);
        } else if (option == "--profile") {
            const std::string path = value();
            try {
                validate::readProfileFile(path, command.options.profile);
            } catch (const std::runtime_error& error) {
                throw tools::ToolError(std::string("--profile: ") + error.what());
            }
        } else if (option == "--max-gain") {
            command.options.profile.maxGain = realInRange(option, value(), 0.0, 1e30);
            command.options.profile.source = "options";
        } else if (option == "--text-limit") {
            command.options.profile.parameterTextLimit =
                static_cast<int>(tools::parseInteger(option, value(), 1, 200));
            command.options.profile.source = "options";
#if defined(_WIN32)
        } else if (option == "--child") {
            command.childTask = value();
        } else if (option == "--report-handle") {
            command.reportHandle = value();
        } else if (option == "--resume-at") {
            command.options.resumeAt = static_cast<int>(
                tools::parseInteger(option, value(), 0, std::numeric_limits<int>::max()));
#endif
        } else {
            throw tools::ToolError(option + ": unknown option (see --help)");
        }
        if (args.hasUnusedInlineValue()) {
            throw tools::ToolError(option + ": takes no value");
        }
    }
    return command;
}

// Written beside the target and renamed over it, so no half-written report.
void writeReport(const std::string& path, const std::string& content) {
    tools::PendingOutput output(path);
    std::ofstream out(output.temporaryPath(), std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) {
        throw tools::ToolError(tools::quoted(path) + ": cannot write the report");
    }
    output.commit();
}

}  // namespace

int main(int argc, char** argv) {
    Command command;
    try {
        command = parse(argc, argv);
    } catch (const tools::ToolError& error) {
        std::cerr << "drifton-validate: " << error.what() << "\n";
        return kExitUsage;
    }
#if defined(_WIN32)
    if (!command.childTask.empty()) {
        return validate::childMain(command.childTask, command.reportHandle, command.options);
    }
#endif
    if (command.help) {
        printHelp();
        return 0;
    }
    if (command.version) {
        std::printf("drifton-validate %s\n", DRIFTON_VERSION);
        return 0;
    }
    if (command.list) {
        printList();
        return 0;
    }
    if (command.options.pluginPath.empty()) {
        try {
            command.options.pluginPath = tools::defaultPluginPath();
        } catch (const tools::ToolError& error) {
            std::cerr << "drifton-validate: " << error.what() << "\n";
            return kExitFailed;
        }
    }
    // The report's folder must take a file before any check runs.
    if (!command.jsonPath.empty()) {
        try {
            const tools::PendingOutput probe(command.jsonPath);
        } catch (const tools::ToolError& error) {
            std::cerr << "drifton-validate: --json: " << error.what() << "\n";
            return kExitFailed;
        }
    }
    const validate::Options& options = command.options;
    const validate::Identity identity = validate::identify(options);
    if (!identity.loaded) {
        std::cerr << "drifton-validate: " << identity.error << "\n";
        return kExitFailed;
    }
    std::printf("plug-in   %s\n", options.pluginPath.c_str());
    std::printf("identity  %s by %s, id '%s', %d in / %d out, %d parameters\n",
                identity.name.c_str(), identity.vendor.c_str(),
                validate::fourCharText(identity.uniqueID).c_str(), identity.numInputs,
                identity.numOutputs, identity.numParams);
    const validate::Profile& profile = options.profile;
    std::printf("declared  %s, %s (%s)\n",
                profile.maxGain > 0.0
                    ? ("output within " + std::to_string(profile.maxGain) + " x input").c_str()
                    : "no gain bound",
                profile.parameterTextLimit > 0
                    ? ("parameter texts up to " + std::to_string(profile.parameterTextLimit) +
                       " characters")
                          .c_str()
                    : "texts judged by the text",
                profile.source.c_str());
    std::printf("editors   %s\n", validate::hasDisplay()
                                      ? "opened where there is one"
                                      : "no display: editor calls skipped (run under xvfb-run "
                                        "-a to include them)");
    std::printf("level %d, seed %llu (replay: --level %d --seed %llu)\n", options.level,
                static_cast<unsigned long long>(options.seed), options.level,
                static_cast<unsigned long long>(options.seed));
    std::fflush(stdout);

    const bool terminal = stderrIsTerminal();
    std::vector<validate::CheckResult> results;
    for (const auto& check : validate::checks()) {
        const std::string name = check.name;
        const bool named =
            std::find(options.only.begin(), options.only.end(), name) != options.only.end();
        if (!options.only.empty() && !named) {
            continue;
        }
        validate::CheckResult result;
        if (!named && options.level < check.minLevel) {
            result.name = name;
            result.status = validate::Status::Skipped;
            result.tried = "skipped: runs from level " + std::to_string(check.minLevel);
        } else {
            if (terminal) {
                std::fprintf(stderr, "running %s ...\r", check.name);
            }
            result = validate::runIsolated(name, options);
            if (terminal) {
                std::fprintf(stderr, "\33[2K\r");
            }
        }
        std::printf("%s\n", validate::describe(result).c_str());
        for (const std::string& line : validate::describeDetails(result)) {
            std::printf("%s\n", line.c_str());
        }
        std::fflush(stdout);
        results.push_back(std::move(result));
    }
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::size_t skipped = 0;
    for (const auto& result : results) {
        passed += result.status == validate::Status::Passed ? 1 : 0;
        failed += result.status == validate::Status::Failed ? 1 : 0;
        skipped += result.status == validate::Status::Skipped ? 1 : 0;
    }
    std::printf("%zu passed, %zu failed", passed, failed);
    if (skipped > 0) {
        std::printf(", %zu skipped", skipped);
    }
    std::printf("\n");
    if (!command.jsonPath.empty()) {
        try {
            writeReport(command.jsonPath, validate::toJson(options, identity, results));
        } catch (const tools::ToolError& error) {
            std::cerr << "drifton-validate: " << error.what() << "\n";
            return kExitFailed;
        }
    }
    return failed == 0 ? 0 : kExitFailed;
}
