// The check table, the child-process runner and the reports.
#include "validate/validator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "checks.h"
#include "crash_report.h"
#include "platform.h"

namespace validate {

namespace {

using CheckBody = void (*)(Context&, const LoadedPlugin&);

struct CheckEntry {
    CheckInfo info;
    CheckBody body;
};

const std::vector<CheckEntry>& entries() {
    static const std::vector<CheckEntry> table = {
        {{"lifecycle",
          "create/open/resume/process/suspend/close cycles with resident memory flat; "
          "interleaved instances equal to each alone; processing before resume and "
          "after suspend",
          1},
         checkLifecycle},
        {{"opcodes",
          "every opcode 0..90 and random ones with null and guarded pointers, random "
          "index, value and opt; texts within their limits",
          1},
         checkOpcodes},
        {{"parameters",
          "boundary, out-of-range, NaN, infinite and subnormal values on every index; "
          "read-backs in 0..1; names, labels and displays within limits",
          1},
         checkParameters},
        {{"audio",
          "sample rates x block sizes x time information; finite, never subnormal, "
          "within the declared gain; in place equal to separate buffers; null arrays",
          1},
         checkAudio},
        {{"threads", "parameters and texts on one thread while another processes", 1},
         checkThreads},
        {{"fpmode",
          "the caller's floating-point mode (MXCSR and x87 control word, or FPCR) unchanged "
          "by every call",
          1},
         checkFloatingPointMode},
        {{"realtime", "no allocation, blocking lock or common system call inside processReplacing",
          3},
         checkRealtime},
        {{"hostile",
          "calls no host should make: null pointers, random opcodes and arguments, invalid "
          "parameter values, rates and time information, null channel arrays, negative frame "
          "counts, processing while suspended; each crash reported and the rest still tried",
          5},
         checkHostile},
    };
    return table;
}

void reportLine(int fd, char kind, const std::string& text) {
    writeReport(fd, std::string(1, kind) + '\t' + text + '\n');
}

}  // namespace

void takeLines(std::string& pending, std::vector<std::pair<char, std::string>>& lines) {
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        if (end >= 2) {
            lines.emplace_back(pending[0], pending.substr(2, end - 2));
        }
        pending.erase(0, end + 1);
    }
}

const std::vector<CheckInfo>& checks() {
    static const std::vector<CheckInfo> infos = [] {
        std::vector<CheckInfo> list;
        for (const CheckEntry& entry : entries()) {
            list.push_back(entry.info);
        }
        return list;
    }();
    return infos;
}

bool isCheck(const std::string& name) {
    for (const CheckEntry& entry : entries()) {
        if (name == entry.info.name) {
            return true;
        }
    }
    return false;
}

std::string fourCharText(std::int32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c =
            static_cast<unsigned char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return text;
}

void readProfileFile(const std::string& path, Profile& profile) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error(path + ": cannot read the profile: " + std::strerror(errno));
    }
    std::string line;
    int number = 0;
    bool any = false;
    while (std::getline(in, line)) {
        ++number;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) {
            line.erase(hash);
        }
        const auto trim = [](std::string text) {
            const auto first = text.find_first_not_of(" \t\r");
            const auto last = text.find_last_not_of(" \t\r");
            return first == std::string::npos ? std::string()
                                              : text.substr(first, last - first + 1);
        };
        line = trim(line);
        if (line.empty()) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            throw std::runtime_error(where + "expected 'key = value', got '" + line + "'");
        }
        const std::string key = trim(line.substr(0, equals));
        const std::string value = trim(line.substr(equals + 1));
        std::size_t used = 0;
        try {
            if (key == "max-gain") {
                const double gain = std::stod(value, &used);
                if (used != value.size() || !(gain > 0.0 && gain < 1e30)) {
                    throw std::invalid_argument(value);
                }
                profile.maxGain = gain;
            } else if (key == "text-limit") {
                const int limit = std::stoi(value, &used);
                if (used != value.size() || limit < 1 || limit > 200) {
                    throw std::invalid_argument(value);
                }
                profile.parameterTextLimit = limit;
            } else {
                throw std::runtime_error(where + "unknown key '" + key +
                                         "' (max-gain or text-limit)");
            }
        } catch (const std::logic_error&) {
            throw std::runtime_error(where + key + ": not a valid value: '" + value + "'");
        }
        any = true;
    }
    if (any) {
        profile.source = "profile " + path;
    }
}

namespace {

// Loads the plug-in and creates one instance to learn who it is; reports
// through `fd` as "I key value" lines.
void identifyInChild(const Options& options, int fd) {
    std::string error;
    const auto plugin = LoadedPlugin::load(options.pluginPath, &error);
    if (plugin == nullptr) {
        reportLine(fd, 'E', error);
        return;
    }
    auto instance = TestInstance::create(plugin->entry());
    if (instance == nullptr) {
        reportLine(fd, 'E', options.pluginPath + ": the entry point returned no effect record");
        return;
    }
    char text[kHostTextBuffer] = {};
    instance->dispatch(effGetEffectName, 0, 0, text);
    text[sizeof text - 1] = '\0';
    reportLine(fd, 'n', text);
    std::memset(text, 0, sizeof text);
    instance->dispatch(effGetVendorString, 0, 0, text);
    text[sizeof text - 1] = '\0';
    reportLine(fd, 'v', text);
    const AEffect* record = instance->record();
    reportLine(fd, 'u', std::to_string(record->uniqueID));
    reportLine(fd, 'i', std::to_string(record->numInputs));
    reportLine(fd, 'o', std::to_string(record->numOutputs));
    reportLine(fd, 'p', std::to_string(record->numParams));
    reportLine(fd, 'f', std::to_string(record->flags));
}

std::string oneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        line += (c == '\n' || c == '\t') ? ' ' : c;
    }
    return line;
}

}  // namespace

Identity identify(const Options& options) {
    Identity identity;
    const ChildOutcome outcome =
        runChild(kIdentifyTask, options, [&](int fd) { identifyInChild(options, fd); });
    for (const auto& [kind, text] : outcome.lines) {
        switch (kind) {
        case 'E':
            identity.error = oneLine(text);
            break;
        case 'n':
            identity.name = text;
            break;
        case 'v':
            identity.vendor = text;
            break;
        case 'u':
            identity.uniqueID = static_cast<std::int32_t>(std::stol(text));
            break;
        case 'i':
            identity.numInputs = std::stoi(text);
            break;
        case 'o':
            identity.numOutputs = std::stoi(text);
            break;
        case 'p':
            identity.numParams = std::stoi(text);
            break;
        case 'f':
            identity.flags = std::stoi(text);
            break;
        default:
            break;
        }
    }
    // Identified completely: what happened at exit (a memory checker's
    // status, for one) belongs to the checks, not to loading.
    const bool complete = !outcome.lines.empty() && outcome.lines.back().first == 'f';
    if (identity.error.empty() && !complete) {
        if (outcome.timedOut) {
            identity.error = options.pluginPath + ": no answer within the time limit while loading";
        } else if (outcome.crash != 0) {
            identity.error = options.pluginPath + ": crashed with " + crashText(outcome.crash) +
                             " while loading";
        } else {
            identity.error = options.pluginPath + ": loading exited with status " +
                             std::to_string(outcome.exitStatus) +
                             " before the effect was identified";
        }
    }
    identity.loaded = identity.error.empty();
    return identity;
}

namespace {

void runCheck(const std::string& name, const Options& options, int reportFd) {
    Context context(options, name, reportFd);
    std::string error;
    const auto plugin = LoadedPlugin::load(options.pluginPath, &error);
    if (plugin == nullptr) {
        context.problem(error);
        return;
    }
    for (const CheckEntry& entry : entries()) {
        if (name == entry.info.name) {
            entry.body(context, *plugin);
            return;
        }
    }
    context.problem("no check named " + name);
}

// What one child process of a check reported.
struct ChildReport {
    std::string lastStep;
    std::string tried;
    std::string skipped;
    std::string crashedCall;
    int hostileIndex = -1;
    std::string hostileCall;
    std::vector<std::string> problems;
    std::size_t problemCount = 0;
    std::vector<std::string> warnings;
    std::size_t warningCount = 0;
};

ChildReport readReport(const ChildOutcome& outcome) {
    ChildReport report;
    for (const auto& [kind, text] : outcome.lines) {
        switch (kind) {
        case 'S':
            report.lastStep = text;
            break;
        case 'P':
            report.problems.push_back(text);
            break;
        case 'N':
            report.problemCount = std::max<std::size_t>(report.problemCount, std::stoul(text));
            break;
        case 'W':
            report.warnings.push_back(text);
            break;
        case 'M':
            report.warningCount = std::max<std::size_t>(report.warningCount, std::stoul(text));
            break;
        case 'T':
            report.tried = text;
            break;
        case 'K':
            report.skipped = text;
            break;
        case 'C':
            report.crashedCall = describeCrashedCall(text);
            break;
        case 'H': {
            const std::size_t space = text.find(' ');
            report.hostileIndex = std::stoi(text.substr(0, space));
            report.hostileCall = space == std::string::npos ? "" : text.substr(space + 1);
            break;
        }
        default:
            break;
        }
    }
    report.problemCount = std::max(report.problemCount, report.problems.size());
    report.warningCount = std::max(report.warningCount, report.warnings.size());
    return report;
}

// Why the child ended before its check did, or "".
std::string fatalText(const ChildOutcome& outcome, const ChildReport& report, double limit) {
    std::string where;
    if (!report.crashedCall.empty()) {
        where += " in " + report.crashedCall;
    }
    if (report.hostileIndex >= 0) {
        where += " (hostile call " + std::to_string(report.hostileIndex) + ": " +
                 report.hostileCall + ")";
    } else if (!report.lastStep.empty()) {
        where += " while: " + report.lastStep;
    }
    if (outcome.timedOut) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", limit);
        return std::string("no answer within the time limit of ") + text + " s" + where;
    }
    if (outcome.crash != 0) {
        return "crashed with " + crashText(outcome.crash) + where;
    }
    if (outcome.unfinished) {
        return "the check's process ended before the check finished" + where;
    }
    if (outcome.exitStatus != 0) {
        // Sanitizers and memory checkers end a process this way when they
        // found errors; their report is in the captured output.
        return "the check's process exited with status " + std::to_string(outcome.exitStatus) +
               where + " (see its output below)";
    }
    return "";
}

void addOutput(CapturedOutput& total, const CapturedOutput& more) {
    if (total.lines == 0) {
        total.first = more.first;
    }
    total.lines += more.lines;
    total.bytes += more.bytes;
    if (!more.last.empty() || more.lines > 0) {
        total.last = more.last.empty() ? more.first : more.last;
    }
}

constexpr int kMostRestarts = 200;

}  // namespace

void runTask(const std::string& task, const Options& options, int reportFd) {
    if (task == kIdentifyTask) {
        identifyInChild(options, reportFd);
    } else {
        runCheck(task, options, reportFd);
    }
}

CheckResult runIsolated(const std::string& name, const Options& options) {
    CheckResult result;
    result.name = name;
    const bool restartable = name == "hostile";
    Options childOptions = options;
    childOptions.resumeAt = 0;
    const auto started = std::chrono::steady_clock::now();
    std::string lastTried;
    std::string skipped;
    std::string lastStep;
    for (int restarts = 0;; ++restarts) {
        const double left =
            options.timeLimitSeconds -
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        childOptions.timeLimitSeconds = std::max(left, 0.1);
        const ChildOutcome outcome =
            runChild(name, childOptions, [&](int fd) { runCheck(name, childOptions, fd); });
        const ChildReport report = readReport(outcome);
        if (!report.tried.empty()) {
            lastTried = report.tried;
        }
        if (!report.skipped.empty()) {
            skipped = report.skipped;
        }
        if (!report.lastStep.empty()) {
            lastStep = report.lastStep;
        }
        addOutput(result.output, outcome.output);
        const std::string fatal = fatalText(outcome, report, options.timeLimitSeconds);
        if (!fatal.empty()) {
            result.problems.push_back(fatal);
            ++result.problemCount;
        }
        for (const std::string& problem : report.problems) {
            if (result.problems.size() < 8) {
                result.problems.push_back(problem);
            }
        }
        result.problemCount += report.problemCount;
        for (const std::string& warning : report.warnings) {
            if (result.warnings.size() < 8 &&
                std::find(result.warnings.begin(), result.warnings.end(), warning) ==
                    result.warnings.end()) {
                result.warnings.push_back(warning);
            }
        }
        result.warningCount += report.warningCount;
        // A hostile call that crashed or hung: go on from the next one.
        const bool again = restartable && !fatal.empty() && report.hostileIndex >= 0 &&
                           !outcome.timedOut && restarts < kMostRestarts;
        if (!again) {
            if (restartable && !fatal.empty() && restarts >= kMostRestarts) {
                result.problems.push_back("stopped after " + std::to_string(kMostRestarts) +
                                          " crashes");
            }
            break;
        }
        childOptions.resumeAt = report.hostileIndex + 1;
    }
    if (result.problemCount > 0) {
        result.status = Status::Failed;
    } else if (!skipped.empty()) {
        result.status = Status::Skipped;
        lastTried = "skipped: " + skipped;
    }
    result.tried = !lastTried.empty() ? lastTried : !lastStep.empty() ? "reached: " + lastStep : "";
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

std::string describe(const CheckResult& result) {
    const char* verdict = result.status == Status::Passed   ? "PASS"
                          : result.status == Status::Failed ? "FAIL"
                                                            : "SKIP";
    char head[64];
    std::snprintf(head, sizeof head, "%s  %-10s (%.1f s) ", verdict, result.name.c_str(),
                  result.seconds);
    std::string line = head + result.tried;
    if (result.status == Status::Failed) {
        line += " -- " + std::to_string(result.problemCount) +
                (result.problemCount == 1 ? " problem: " : " problems, first: ");
        for (std::size_t i = 0; i < result.problems.size() && i < 3; ++i) {
            line += (i == 0 ? "" : "; ") + result.problems[i];
        }
    }
    return line;
}

std::vector<std::string> describeDetails(const CheckResult& result) {
    std::vector<std::string> lines;
    if (result.warningCount > 0) {
        std::string line = "      " + std::to_string(result.warningCount) +
                           (result.warningCount == 1 ? " warning: " : " warnings, first: ");
        for (std::size_t i = 0; i < result.warnings.size() && i < 2; ++i) {
            line += (i == 0 ? "" : "; ") + result.warnings[i];
        }
        lines.push_back(line);
    }
    const CapturedOutput& output = result.output;
    if (output.lines > 0) {
        lines.push_back("      the plug-in printed " + std::to_string(output.lines) +
                        (output.lines == 1 ? " line" : " lines") + " (" +
                        std::to_string(output.bytes) +
                        " bytes), first: " + (output.first.empty() ? "" : output.first.front()));
        // A process that died or failed: its last words, where a sanitizer's
        // or a memory checker's report ends.
        const bool died = !result.problems.empty() &&
                          (result.problems.front().rfind("crashed", 0) == 0 ||
                           result.problems.front().rfind("the check's process", 0) == 0);
        if (died && output.lines > 1) {
            const auto& tail = output.last.empty() ? output.first : output.last;
            for (const std::string& text : tail) {
                lines.push_back("      | " + text);
            }
        }
    }
    return lines;
}

std::string toJson(const Options& options, const Identity& identity,
                   const std::vector<CheckResult>& results) {
    nlohmann::json report;
    report["plugin"] = {
        {"path", options.pluginPath},      {"name", identity.name},
        {"vendor", identity.vendor},       {"uniqueID", fourCharText(identity.uniqueID)},
        {"inputs", identity.numInputs},    {"outputs", identity.numOutputs},
        {"parameters", identity.numParams}};
    report["profile"] = {{"maxGain", options.profile.maxGain},
                         {"parameterTextLimit", options.profile.parameterTextLimit},
                         {"source", options.profile.source}};
    report["level"] = options.level;
    report["seed"] = options.seed;
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::size_t skipped = 0;
    nlohmann::json list = nlohmann::json::array();
    for (const CheckResult& result : results) {
        const char* status = result.status == Status::Passed   ? "passed"
                             : result.status == Status::Failed ? "failed"
                                                               : "skipped";
        passed += result.status == Status::Passed ? 1 : 0;
        failed += result.status == Status::Failed ? 1 : 0;
        skipped += result.status == Status::Skipped ? 1 : 0;
        list.push_back({{"name", result.name},
                        {"status", status},
                        {"tried", result.tried},
                        {"problems", result.problems},
                        {"problemCount", result.problemCount},
                        {"warnings", result.warnings},
                        {"warningCount", result.warningCount},
                        {"output",
                         {{"lines", result.output.lines},
                          {"bytes", result.output.bytes},
                          {"first", result.output.first},
                          {"last", result.output.last}}},
                        {"seconds", result.seconds}});
    }
    report["checks"] = list;
    report["passed"] = passed;
    report["failed"] = failed;
    report["skipped"] = skipped;
    // Texts from a plug-in may hold bytes that are not UTF-8 (a raw degree
    // sign): replace them rather than refuse to write the report.
    return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace validate
