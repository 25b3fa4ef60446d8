#include "tools/render/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>

namespace render {

namespace {

constexpr double kWidth = 960.0;
constexpr double kHeight = 400.0;
constexpr double kLeft = 64.0;
constexpr double kRight = 24.0;
constexpr double kTop = 78.0;
constexpr double kBottom = 52.0;
constexpr double kGainTop = 1.5;

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string number(double value, int decimals = 1) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// A short label: no trailing zeros after the point.
std::string shortNumber(double value) {
    std::string text = number(value, 3);
    while (!text.empty() && text.back() == '0') {
        text.pop_back();
    }
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

// A polyline through the minimum and maximum of each pixel column, so that
// fast edges stay visible at any length.
std::string trace(const std::vector<GainColumn>& columns, double plotHeight) {
    std::ostringstream points;
    const auto y = [&](float g) {
        return kTop +
               plotHeight * (1.0 - std::clamp(static_cast<double>(g), 0.0, kGainTop) / kGainTop);
    };
    for (std::size_t column = 0; column < columns.size(); ++column) {
        const GainColumn& c = columns[column];
        if (c.lowFrame < 0) {
            continue;
        }
        const double x = kLeft + static_cast<double>(column) + 0.5;
        // Keep the order in time so rising and falling edges draw correctly.
        const bool lowFirst = c.lowFrame < c.highFrame;
        points << number(x) << ',' << number(y(lowFirst ? c.low : c.high)) << ' ' << number(x)
               << ',' << number(y(lowFirst ? c.high : c.low)) << ' ';
    }
    return points.str();
}

// A whole beat as a label: no exponent, no fraction.
std::string beatLabel(double beat) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", beat);
    return std::strcmp(buffer, "-0") == 0 ? "0" : buffer;
}

// A step of 1, 2 or 5 times a power of ten with at most `most` steps in `span`.
double niceStep(double span, double most) {
    const double raw = span / most;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw) {
            return m * power;
        }
    }
    return 10.0 * power;
}

}  // namespace

GainColumns::GainColumns(std::int64_t totalFrames, int columns)
    : total_(std::max<std::int64_t>(totalFrames, 1)), columns_(std::max(columns, 1)) {
    channels_[0].resize(static_cast<std::size_t>(columns_));
    channels_[1].resize(static_cast<std::size_t>(columns_));
    currentEnd_ = end(0);
}

std::int64_t GainColumns::begin(std::int64_t column) const {
    // At most 1e10 frames times a thousand columns: well within 64 bits.
    return column * total_ / columns_;
}

std::int64_t GainColumns::end(std::int64_t column) const {
    return std::max(begin(column) + 1, begin(column + 1));
}

void GainColumns::write(const float* left, const float* right, std::size_t frames) {
    const float* data[2] = {left, right};
    const auto take = [&](std::int64_t c, std::size_t from, std::size_t count) {
        for (int channel = 0; channel < 2; ++channel) {
            GainColumn& column = channels_[channel][static_cast<std::size_t>(c)];
            for (std::size_t i = from; i < from + count; ++i) {
                const float g = data[channel][i];
                const std::int64_t frame = done_ + static_cast<std::int64_t>(i);
                if (column.lowFrame < 0 || g < column.low) {
                    column.low = g;
                    column.lowFrame = frame;
                }
                if (column.highFrame < 0 || g > column.high) {
                    column.high = g;
                    column.highFrame = frame;
                }
            }
        }
    };
    std::size_t i = 0;
    while (i < frames) {
        const std::int64_t frame = done_ + static_cast<std::int64_t>(i);
        while (current_ < columns_ && frame >= currentEnd_) {
            ++current_;
            currentEnd_ = end(current_);
        }
        if (current_ >= columns_) {
            break;  // more frames than announced
        }
        if (total_ >= columns_) {
            // Each frame in one column: the run up to the column's end.
            const auto count = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(frames - i), currentEnd_ - frame));
            take(current_, i, count);
            i += count;
        } else {
            // Fewer frames than columns: a frame fills every column it starts.
            for (std::int64_t c = current_; c < columns_ && begin(c) <= frame; ++c) {
                take(c, i, 1);
            }
            ++i;
        }
    }
    done_ += static_cast<std::int64_t>(frames);
}

std::string plotSvg(const GainPlot& plot) {
    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    const double frames = static_cast<double>(std::max<std::int64_t>(plot.frames, 1));
    const double seconds = frames / plot.sampleRate;
    const double beatsPerSecond = plot.tempo / 60.0;
    const double beats = seconds * beatsPerSecond;
    const auto xOfSecond = [&](double s) { return kLeft + plotWidth * s / seconds; };
    const auto xOfBeat = [&](double b) { return xOfSecond((b - plot.startBeat) / beatsPerSecond); };
    const auto yOfGain = [&](double g) { return kTop + plotHeight * (1.0 - g / kGainTop); };

    std::ostringstream svg;
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << kHeight << "\" viewBox=\"0 0 " << kWidth << ' ' << kHeight
        << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
        << "<text x=\"" << kLeft << "\" y=\"22\" font-size=\"15\" font-weight=\"bold\">"
        << escaped(plot.title) << "</text>\n"
        << "<text x=\"" << kLeft << "\" y=\"40\" fill=\"#444\">" << escaped(plot.subtitle)
        << "</text>\n";

    // Beat and bar grid, labelled in beats along the top. The label step is
    // a beat, two, or a power of two of bars, wide enough for the widest
    // label; lines closer than 4 pixels are left out.
    const double firstBeat = std::ceil(plot.startBeat - 1e-9);
    const double lastBeat = plot.startBeat + beats;
    const double pixelsPerBeat = plotWidth / std::max(beats, 1e-12);
    const auto widest = static_cast<double>(
        std::max(beatLabel(firstBeat).size(), beatLabel(std::floor(lastBeat)).size()));
    const double labelPixels = 7.0 * widest + 10.0;
    const auto perBar = static_cast<double>(plot.beatsPerBar);
    double labelStep = 1.0;
    while (labelStep * pixelsPerBeat < labelPixels && labelStep < 1e300) {
        if (labelStep < perBar) {
            const double next = labelStep * 2.0;
            labelStep = next < perBar && std::fmod(perBar, next) == 0.0 ? next : perBar;
        } else {
            labelStep *= 2.0;
        }
    }
    const double lineStep = pixelsPerBeat >= 4.0                      ? 1.0
                            : pixelsPerBeat * plot.beatsPerBar >= 4.0 ? plot.beatsPerBar
                                                                      : labelStep;
    // Whole multiples of the step from the first line: a count, not a sum,
    // so that beats too large to add 1 to still end the loop.
    const double firstLine = std::ceil(firstBeat / lineStep - 1e-9) * lineStep;
    const double lineCount = std::floor((lastBeat + 1e-9 - firstLine) / lineStep) + 1.0;
    double previous = -std::numeric_limits<double>::infinity();
    for (double n = 0.0; n < std::min(lineCount, 2.0 * plotWidth); n += 1.0) {
        const double b = firstLine + n * lineStep;
        if (b <= previous) {
            continue;  // beats so large that the step is below their resolution
        }
        previous = b;
        const bool bar = std::fmod(b, static_cast<double>(plot.beatsPerBar)) == 0.0;
        const double x = xOfBeat(b);
        svg << "<line x1=\"" << number(x) << "\" y1=\"" << kTop << "\" x2=\"" << number(x)
            << "\" y2=\"" << kTop + plotHeight << "\" stroke=\"" << (bar ? "#999" : "#ddd")
            << "\" stroke-width=\"" << (bar ? 1.2 : 0.8) << "\"/>\n";
        if (std::fmod(b, labelStep) == 0.0) {
            svg << "<text x=\"" << number(x) << "\" y=\"" << kTop - 6
                << "\" text-anchor=\"middle\" fill=\"#555\">" << beatLabel(b) << "</text>\n";
        }
    }
    svg << "<text x=\"" << kLeft - 8 << "\" y=\"" << kTop - 6
        << "\" text-anchor=\"end\" fill=\"#555\">beat</text>\n";

    // Gain axis: 0, 0.5, 1 (centre: unity) and the full-side gain.
    for (const double g : {0.0, 0.5, 1.0, std::sqrt(2.0)}) {
        const double y = yOfGain(g);
        svg << "<line x1=\"" << kLeft << "\" y1=\"" << number(y) << "\" x2=\"" << kLeft + plotWidth
            << "\" y2=\"" << number(y) << "\" stroke=\"#eee\"/>\n"
            << "<text x=\"" << kLeft - 6 << "\" y=\"" << number(y + 4)
            << "\" text-anchor=\"end\" fill=\"#555\">" << (g > 1.1 ? "1.414" : shortNumber(g))
            << "</text>\n";
    }
    svg << "<text transform=\"translate(16," << number(kTop + plotHeight / 2)
        << ") rotate(-90)\" text-anchor=\"middle\" fill=\"#333\">gain</text>\n";

    // Time axis in seconds along the bottom: at most 10 ticks.
    const double step = niceStep(seconds, 10.0);
    const double tickCount = std::floor(seconds / step + 1e-9) + 1.0;
    for (double n = 0.0; n < tickCount; n += 1.0) {
        const double s = n * step;
        const double x = xOfSecond(s);
        svg << "<line x1=\"" << number(x) << "\" y1=\"" << kTop + plotHeight << "\" x2=\""
            << number(x) << "\" y2=\"" << kTop + plotHeight + 5 << "\" stroke=\"#333\"/>\n"
            << "<text x=\"" << number(x) << "\" y=\"" << kTop + plotHeight + 18
            << "\" text-anchor=\"middle\" fill=\"#555\">" << shortNumber(s) << "</text>\n";
    }
    svg << "<text x=\"" << kLeft + plotWidth / 2 << "\" y=\"" << kHeight - 12
        << "\" text-anchor=\"middle\" fill=\"#333\">time (s)</text>\n"
        << "<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << plotWidth
        << "\" height=\"" << plotHeight << "\" fill=\"none\" stroke=\"#333\"/>\n";

    svg << "<polyline fill=\"none\" stroke=\"#1f6fd1\" stroke-width=\"1.6\" points=\""
        << trace(plot.left, plotHeight) << "\"/>\n"
        << "<polyline fill=\"none\" stroke=\"#e0561b\" stroke-width=\"1.6\" points=\""
        << trace(plot.right, plotHeight) << "\"/>\n";

    // Legend, top right, level with the title.
    const double lx = kLeft + plotWidth - 190;
    svg << "<line x1=\"" << lx << "\" y1=\"18\" x2=\"" << lx + 22
        << "\" y2=\"18\" stroke=\"#1f6fd1\" stroke-width=\"3\"/>\n"
        << "<text x=\"" << lx + 27 << "\" y=\"22\">left gain</text>\n"
        << "<line x1=\"" << lx + 95 << "\" y1=\"18\" x2=\"" << lx + 117
        << "\" y2=\"18\" stroke=\"#e0561b\" stroke-width=\"3\"/>\n"
        << "<text x=\"" << lx + 122 << "\" y=\"22\">right gain</text>\n"
        << "</svg>\n";
    return svg.str();
}

}  // namespace render
