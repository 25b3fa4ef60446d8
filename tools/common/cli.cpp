#include "tools/common/cli.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tools {

ArgCursor::ArgCursor(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        args_.emplace_back(argv[i]);
    }
}

std::string ArgCursor::take(bool& isOption) {
    std::string arg = args_[next_++];
    inline_.reset();
    if (!positionalOnly_ && arg == "--") {
        positionalOnly_ = true;
        if (done()) {
            isOption = false;
            return {};
        }
        arg = args_[next_++];
    }
    isOption = !positionalOnly_ && arg.size() > 1 && arg[0] == '-' && !toNumber(arg).has_value();
    if (isOption && arg.rfind("--", 0) == 0) {
        const auto equals = arg.find('=');
        if (equals != std::string::npos) {
            inline_ = arg.substr(equals + 1);
            arg.resize(equals);
        }
    }
    return arg;
}

std::string ArgCursor::value(const std::string& option) {
    if (inline_) {
        std::string text = std::move(*inline_);
        inline_.reset();
        return text;
    }
    if (done()) {
        throw ToolError(option + ": missing value");
    }
    return args_[next_++];
}

std::optional<double> toNumber(std::string_view text) {
    const std::string trimmed = trim(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (*first == '+') {
        ++first;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

double parseNumber(const std::string& option, const std::string& text) {
    const auto value = toNumber(text);
    if (!value) {
        throw ToolError(option + ": expected a number, got " + quoted(text));
    }
    return *value;
}

long long parseInteger(const std::string& option, const std::string& text, long long min,
                       long long max) {
    const std::string trimmed = trim(text);
    long long value = 0;
    const char* last = trimmed.data() + trimmed.size();
    const auto [end, error] = std::from_chars(trimmed.data(), last, value);
    if (trimmed.empty() || error != std::errc() || end != last) {
        throw ToolError(option + ": expected a whole number, got " + quoted(text));
    }
    if (value < min || value > max) {
        throw ToolError(option + ": " + trimmed + " is outside " + std::to_string(min) + ".." +
                        std::to_string(max));
    }
    return value;
}

std::string lowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string trim(std::string_view text) {
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && space(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    while (true) {
        const auto end = text.find(separator, begin);
        parts.emplace_back(text.substr(begin, end == std::string_view::npos ? end : end - begin));
        if (end == std::string_view::npos) {
            return parts;
        }
        begin = end + 1;
    }
}

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('\'');
    out.append(text);
    out.push_back('\'');
    return out;
}

}  // namespace tools
