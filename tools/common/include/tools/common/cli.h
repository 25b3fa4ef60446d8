// Command-line conventions of the tools: options as `--name value` or
// `--name=value`, errors as one line naming the option or file at fault.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// A failure reported to the user as one line on stderr, with exit status 1.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Walks the arguments of a command line in order.
class ArgCursor {
public:
    explicit ArgCursor(std::vector<std::string> args) : args_(std::move(args)) {}
    ArgCursor(int argc, const char* const* argv);

    bool done() const { return next_ >= args_.size(); }
    // The next argument; an option's inline value (`--name=value`) is split
    // off and kept for value(). After `--` every argument is positional.
    // Sets `isOption` accordingly.
    std::string take(bool& isOption);
    // The value of the option just taken: its inline part or the next argument.
    std::string value(const std::string& option);
    // True when the option just taken had an inline value it did not use.
    bool hasUnusedInlineValue() const { return inline_.has_value(); }

private:
    std::vector<std::string> args_;
    std::size_t next_ = 0;
    bool positionalOnly_ = false;
    std::optional<std::string> inline_;
};

// Numbers in option values; the error names the option.
double parseNumber(const std::string& option, const std::string& text);
long long parseInteger(const std::string& option, const std::string& text, long long min,
                       long long max);
// Strict parse without an error: the whole text must be a finite number.
std::optional<double> toNumber(std::string_view text);

std::string lowercase(std::string_view text);
std::string trim(std::string_view text);
std::vector<std::string> split(std::string_view text, char separator);

// Quotes a path or value for an error message.
std::string quoted(std::string_view text);

}  // namespace tools
