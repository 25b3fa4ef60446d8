// The check table, the child-process runner and the reports.
#include "tools/validate/validator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tools/validate/check_support.h"
#include "tools/validate/checks.h"
#include "tools/validate/platform.h"

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
        {{"realtime", "no allocation, lock or common system call inside processReplacing", 3},
         checkRealtime},
    };
    return table;
}

// Known plug-ins and what they declare: a pan law scaled by the square root
// of two lifts a channel by at most 1.41422 (sqrt 2 and float rounding), and
// parameter texts of up to 16 characters are documented for this one.
struct KnownPlugin {
    std::int32_t uniqueID;
    const char* effectName;
    double maxGain;
    int parameterTextLimit;
};

constexpr KnownPlugin kKnownPlugins[] = {
    {fourCharCode('r', 'p', 'v', 'n'), "K'q Drifton", 1.41422, 16},
};

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

Profile resolveProfile(std::int32_t uniqueID, const std::string& effectName,
                       const Options& options) {
    Profile profile;
    for (const KnownPlugin& known : kKnownPlugins) {
        if (known.uniqueID == uniqueID && effectName == known.effectName) {
            profile.maxGain = known.maxGain;
            profile.parameterTextLimit = known.parameterTextLimit;
            profile.source = "known plug-in '" + fourCharText(uniqueID) + "'";
        }
    }
    if (options.maxGain >= 0.0 || options.textLimit >= 0) {
        if (options.maxGain >= 0.0) {
            profile.maxGain = options.maxGain;
        }
        if (options.textLimit >= 0) {
            profile.parameterTextLimit = options.textLimit;
        }
        profile.source = "options";
    }
    return profile;
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
    identity.profile = resolveProfile(identity.uniqueID, identity.name, options);
    return identity;
}

void runInProcess(const std::string& name, const Options& options, int reportFd) {
    Context context(options, name, reportFd);
    std::string error;
    const auto plugin = LoadedPlugin::load(options.pluginPath, &error);
    if (plugin == nullptr) {
        context.problem(error);
        return;
    }
    {
        auto instance = TestInstance::create(plugin->entry());
        if (instance == nullptr) {
            context.problem("the entry point returned no effect record");
            return;
        }
        char text[kHostTextBuffer] = {};
        instance->dispatch(effGetEffectName, 0, 0, text);
        text[sizeof text - 1] = '\0';
        context.setProfile(resolveProfile(instance->record()->uniqueID, text, options));
    }
    for (const CheckEntry& entry : entries()) {
        if (name == entry.info.name) {
            entry.body(context, *plugin);
            return;
        }
    }
    context.problem("no check named " + name);
}

void runTask(const std::string& task, const Options& options, int reportFd) {
    if (task == kIdentifyTask) {
        identifyInChild(options, reportFd);
    } else {
        runInProcess(task, options, reportFd);
    }
}

CheckResult runIsolated(const std::string& name, const Options& options) {
    CheckResult result;
    result.name = name;
    const ChildOutcome outcome =
        runChild(name, options, [&](int fd) { runInProcess(name, options, fd); });
    std::string lastStep;
    std::string skipped;
    std::size_t counted = 0;
    for (const auto& [kind, text] : outcome.lines) {
        switch (kind) {
        case 'S':
            lastStep = text;
            break;
        case 'P':
            result.problems.push_back(text);
            break;
        case 'N':
            counted = std::max<std::size_t>(counted, std::stoul(text));
            break;
        case 'T':
            result.tried = text;
            break;
        case 'K':
            skipped = text;
            break;
        default:
            break;
        }
    }
    const std::string where = lastStep.empty() ? "" : " while: " + lastStep;
    std::string fatal;
    if (outcome.timedOut) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", options.timeLimitSeconds);
        fatal = std::string("no answer within the time limit of ") + limit + " s" + where;
    } else if (outcome.crash != 0) {
        fatal = "crashed with " + crashText(outcome.crash) + where;
    } else if (outcome.unfinished) {
        fatal = "the check's process ended before the check finished" + where;
    } else if (outcome.exitStatus != 0) {
        // Sanitizers and memory checkers end a process this way when they
        // found errors; their report is on standard error.
        fatal = "the check's process exited with status " + std::to_string(outcome.exitStatus) +
                " (see the errors reported above)";
    }
    if (!fatal.empty()) {
        result.problems.insert(result.problems.begin(), fatal);
        ++counted;
    }
    result.problemCount = std::max(counted, result.problems.size());
    if (result.problemCount > 0) {
        result.status = Status::Failed;
    } else if (!skipped.empty()) {
        result.status = Status::Skipped;
        result.tried = "skipped: " + skipped;
    }
    if (result.tried.empty() && !lastStep.empty()) {
        result.tried = "reached: " + lastStep;
    }
    result.seconds = outcome.seconds;
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

std::string toJson(const Options& options, const Identity& identity,
                   const std::vector<CheckResult>& results) {
    nlohmann::json report;
    report["plugin"] = {
        {"path", options.pluginPath},      {"name", identity.name},
        {"vendor", identity.vendor},       {"uniqueID", fourCharText(identity.uniqueID)},
        {"inputs", identity.numInputs},    {"outputs", identity.numOutputs},
        {"parameters", identity.numParams}};
    report["profile"] = {{"maxGain", identity.profile.maxGain},
                         {"parameterTextLimit", identity.profile.parameterTextLimit},
                         {"source", identity.profile.source}};
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
