// Parameters by what the user sees. The effect interface has no text-to-value
// operation, so the values behind each display text are found by setting the
// parameter across its range and reading the texts back.
#pragma once

#include <string>
#include <vector>

#include "host/vst_host.h"
#include "tools/render/effect.h"

namespace render {

// A display text and the normalised value chosen for it.
struct Choice {
    std::string text;
    float value;
};

// A VST effect's parameters, by their names and display texts.
class ParameterTable : public ParameterNames {
public:
    explicit ParameterTable(vsthost::Instance& instance);

    int count() const override { return static_cast<int>(names_.size()); }
    std::string name(int index) const override { return names_[static_cast<std::size_t>(index)]; }

    // A parameter by name (case-insensitive) or by index. Throws ToolError
    // starting with `option` and listing the valid names.
    int resolveName(const std::string& option, const std::string& name) const override;
    // The normalised value whose display text matches `text` (case-insensitive,
    // without the label or a degree sign). Throws ToolError listing the nearest
    // valid texts.
    float resolveText(const std::string& option, int index, const std::string& text) override;
    float fromNormalised(int, float normalised) const override { return normalised; }
    std::string shown(int index) override;
    // Every display text the parameter offers, in order of value, each with
    // the value chosen for it: for numbers at either end of the range that
    // end, for other numbers the value nearest zero of those showing the
    // number (displays truncate, so Width=80 is 0.80), for other texts the
    // value the effect reports back after being set within the text's range.
    const std::vector<Choice>& choices(int index);

    // The parameter's display text and label as the effect shows them now.
    std::string display(int index);
    std::string label(int index);

private:
    std::vector<Choice> scan(int index);
    vsthost::Instance& instance_;
    std::vector<std::string> names_;
    std::vector<std::vector<Choice>> choices_;
};

// Text for matching: lower case, ASCII only (a degree sign in any encoding
// goes), without the unit `label` at the end and surrounding spaces.
std::string normalise(const std::string& text, const std::string& label);

// Items joined with ", ".
std::string joined(const std::vector<std::string>& items);

// Makes effect text printable as UTF-8: the degree sign some effects write in
// Shift_JIS (bytes 0x81 0x8B) becomes a degree sign, other bytes above 0x7F '?'.
std::string printable(const std::string& text);

// `NAME=VALUE` split at the first '='; throws ToolError naming the option.
std::pair<std::string, std::string> splitAssignment(const std::string& option,
                                                    const std::string& text);

}  // namespace render
