#include "tools/render/parameters.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "tools/common/cli.h"

namespace render {

using tools::quoted;
using tools::ToolError;

namespace {

// Values probed across 0..1; fine enough for a step of a 360th of the range.
constexpr int kScanSteps = 8192;
// The text lengths the parameter opcodes may write (with room to spare).
constexpr std::size_t kTextCapacity = 64;

}  // namespace

std::string normalise(const std::string& text, const std::string& label) {
    std::string ascii;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x80) {
            ascii.push_back(c);
        }
    }
    std::string out = tools::lowercase(tools::trim(ascii));
    const std::string suffix = tools::lowercase(label);
    if (!suffix.empty() && out.size() >= suffix.size() &&
        out.compare(out.size() - suffix.size(), suffix.size(), suffix) == 0) {
        out = tools::trim(out.substr(0, out.size() - suffix.size()));
    }
    return out;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : ", ") + item;
    }
    return out;
}

std::string printable(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == 0x81 && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) == 0x8B) {
            out += "\xC2\xB0";
            ++i;
        } else {
            out.push_back(byte < 0x80 ? text[i] : '?');
        }
    }
    return out;
}

std::pair<std::string, std::string> splitAssignment(const std::string& option,
                                                    const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw ToolError(option + ": expected NAME=VALUE, got " + quoted(text));
    }
    return {tools::trim(text.substr(0, equals)), tools::trim(text.substr(equals + 1))};
}

ParameterTable::ParameterTable(vsthost::Instance& instance) : instance_(instance) {
    const int count = std::max(instance.record()->numParams, 0);
    for (int index = 0; index < count; ++index) {
        names_.push_back(instance.text(effGetParamName, index, kTextCapacity));
    }
    choices_.resize(names_.size());
}

int ParameterTable::resolveName(const std::string& option, const std::string& name) const {
    const std::string wanted = tools::lowercase(name);
    for (int index = 0; index < count(); ++index) {
        if (tools::lowercase(names_[static_cast<std::size_t>(index)]) == wanted) {
            return index;
        }
    }
    if (const auto number = tools::toNumber(name);
        number && *number >= 0 && *number < count() && std::floor(*number) == *number) {
        return static_cast<int>(*number);
    }
    std::vector<std::string> valid;
    for (const std::string& n : names_) {
        valid.push_back(printable(n));
    }
    throw ToolError(option + ": no parameter " + quoted(name) + "; valid names: " + joined(valid) +
                    " (or an index 0.." + std::to_string(count() - 1) + ")");
}

std::string ParameterTable::display(int index) {
    return instance_.text(effGetParamDisplay, index, kTextCapacity);
}

std::string ParameterTable::label(int index) {
    return instance_.text(effGetParamLabel, index, kTextCapacity);
}

std::string ParameterTable::shown(int index) {
    const std::string unit = printable(label(index));
    return printable(display(index)) + (unit.empty() ? "" : " " + unit);
}

const std::vector<Choice>& ParameterTable::choices(int index) {
    auto& cached = choices_[static_cast<std::size_t>(index)];
    if (cached.empty()) {
        cached = scan(index);
    }
    return cached;
}

std::vector<Choice> ParameterTable::scan(int index) {
    const float original = instance_.getParameter(index);
    const auto textAt = [&](float x) {
        instance_.setParameter(index, x);
        return display(index);
    };
    // Runs of neighbouring probe values that show the same text.
    struct Run {
        std::string text;
        float first;
        float last;
    };
    std::vector<Run> runs;
    for (int step = 0; step <= kScanSteps; ++step) {
        const float x = static_cast<float>(step) / static_cast<float>(kScanSteps);
        std::string text = textAt(x);
        if (!runs.empty() && runs.back().text == text) {
            runs.back().last = x;
        } else {
            runs.push_back(Run{std::move(text), x, x});
        }
    }
    // The exact edge between two runs: the first value showing the later text.
    const auto edge = [&](float below, float above, const std::string& aboveText) {
        while (std::nextafter(below, above) < above) {
            const float middle = below + (above - below) * 0.5f;
            if (middle <= below || middle >= above) {
                break;
            }
            (textAt(middle) == aboveText ? above : below) = middle;
        }
        return above;
    };
    const std::string unit = label(index);
    const auto number = [&](const std::string& text) {
        return tools::toNumber(normalise(text, unit));
    };

    std::vector<Choice> result;
    std::map<std::string, bool> seen;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const Run& run = runs[r];
        if (run.text.empty() || seen[run.text]) {
            continue;
        }
        seen[run.text] = true;
        const auto value = number(run.text);
        const auto before = r > 0 ? number(runs[r - 1].text) : std::nullopt;
        const auto after = r + 1 < runs.size() ? number(runs[r + 1].text) : std::nullopt;
        float chosen = 0.0f;
        if (value && r == 0) {
            chosen = run.first;
        } else if (value && r + 1 == runs.size()) {
            chosen = run.last;
        } else if (value && before && std::fabs(*before) < std::fabs(*value)) {
            chosen = edge(runs[r - 1].last, run.first, run.text);
        } else if (value && after && std::fabs(*after) < std::fabs(*value)) {
            // The last value showing this text: the edge from above, mirrored.
            float below = run.last;
            float above = runs[r + 1].first;
            while (std::nextafter(below, above) < above) {
                const float middle = below + (above - below) * 0.5f;
                if (middle <= below || middle >= above) {
                    break;
                }
                (textAt(middle) == run.text ? below : above) = middle;
            }
            chosen = below;
        } else {
            // The probe value nearest the middle of the run.
            const float middle = run.first + (run.last - run.first) * 0.5f;
            chosen = std::round(middle * kScanSteps) / static_cast<float>(kScanSteps);
            if (!value) {
                instance_.setParameter(index, chosen);
                const float reported = instance_.getParameter(index);
                if (textAt(reported) == run.text) {
                    chosen = reported;
                }
            }
        }
        result.push_back(Choice{run.text, chosen});
    }
    instance_.setParameter(index, original);
    return result;
}

float ParameterTable::resolveText(const std::string& option, int index, const std::string& text) {
    const std::string unit = label(index);
    const std::string wanted = normalise(text, unit);
    const auto& all = choices(index);
    for (const Choice& choice : all) {
        if (normalise(choice.text, unit) == wanted) {
            return choice.value;
        }
    }
    // A number as precise as typed: the displayed number nearest to it of
    // those that round to it at the typed decimals ("2" takes "2.001953" of
    // an effect that shows six decimals; "80.0" takes "80").
    if (const auto typed = tools::toNumber(wanted)) {
        const auto point = wanted.find('.');
        const int decimals =
            point == std::string::npos ? 0 : static_cast<int>(wanted.size() - point - 1);
        const double scale = std::pow(10.0, std::min(decimals, 12));
        const Choice* best = nullptr;
        double bestDistance = 0.0;
        for (const Choice& choice : all) {
            const auto shown = tools::toNumber(normalise(choice.text, unit));
            if (shown && std::round(*shown * scale) == std::round(*typed * scale) &&
                (best == nullptr || std::fabs(*shown - *typed) < bestDistance)) {
                best = &choice;
                bestDistance = std::fabs(*shown - *typed);
            }
        }
        if (best != nullptr) {
            return best->value;
        }
    }
    // Words, not numbers: a unique text that starts the typed one or that the
    // typed one starts ("sine-shaped" for "Sin", "tri" for "Triangle").
    if (!tools::toNumber(wanted) && wanted.size() >= 2 &&
        std::isalpha(static_cast<unsigned char>(wanted[0])) != 0) {
        const Choice* found = nullptr;
        int matches = 0;
        for (const Choice& choice : all) {
            const std::string shown = normalise(choice.text, unit);
            if (shown.empty() || tools::toNumber(shown)) {
                continue;
            }
            if (shown.rfind(wanted, 0) == 0 || (shown.size() >= 3 && wanted.rfind(shown, 0) == 0)) {
                found = &choice;
                ++matches;
            }
        }
        if (matches == 1) {
            return found->value;
        }
    }
    // Suggest the nearest numbers for a number, else every text (or the range).
    std::vector<std::string> suggestions;
    const auto number = tools::toNumber(wanted);
    std::vector<std::pair<double, std::string>> numeric;
    for (const Choice& choice : all) {
        if (const auto n = tools::toNumber(normalise(choice.text, unit))) {
            numeric.emplace_back(*n, printable(choice.text));
        }
    }
    std::string hint;
    if (number && numeric.size() == all.size() && !numeric.empty()) {
        std::stable_sort(numeric.begin(), numeric.end(), [&](const auto& a, const auto& b) {
            return std::fabs(a.first - *number) < std::fabs(b.first - *number);
        });
        numeric.resize(std::min<std::size_t>(numeric.size(), 2));
        std::sort(numeric.begin(), numeric.end());
        for (const auto& n : numeric) {
            suggestions.push_back(n.second);
        }
        hint = "nearest valid values: " + joined(suggestions);
    } else if (all.size() <= 16) {
        for (const Choice& choice : all) {
            suggestions.push_back(printable(choice.text));
        }
        hint = "valid values: " + joined(suggestions);
    } else {
        hint = "valid values: " + printable(all.front().text) + " .. " + printable(all.back().text);
    }
    throw ToolError(option + ": " + printable(name(index)) + " has no value " + quoted(text) +
                    "; " + hint);
}

}  // namespace render
