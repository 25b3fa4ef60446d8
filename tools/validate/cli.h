// Command-line conventions of the tools, kept in one place: option values,
// one-line errors naming the option or file, and the plug-in built beside
// the tool.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace cli {

// A usage error: the message names the option or file at fault.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline long long integerOption(const std::string& option, const std::string& text, long long low,
                               long long high) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
        throw UsageError(option + ": expected a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", got '" + text + "'");
    }
    return value;
}

inline std::uint64_t unsignedOption(const std::string& option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0) {
        throw UsageError(option + ": expected a non-negative whole number, got '" + text + "'");
    }
    return value;
}

inline double realOption(const std::string& option, const std::string& text, double low, double high) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(value >= low && value <= high)) {
        throw UsageError(option + ": expected a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", got '" + text + "'");
    }
    return value;
}

// The plug-in next to the tool: installed as <prefix>/bin/TOOL with the
// plug-in in <prefix>/lib/vst, or in the build tree at the path CMake gave.
inline std::string pluginBesideTool(const char* builtPath) {
    char exe[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length > 0) {
        exe[length] = '\0';
        const auto installed =
            std::filesystem::path(exe).parent_path() / ".." / "lib" / "vst" / "KqDrifton.so";
        std::error_code error;
        if (std::filesystem::exists(installed, error)) {
            return std::filesystem::weakly_canonical(installed, error).string();
        }
    }
    return builtPath;
}

}  // namespace cli
