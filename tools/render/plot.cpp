#include "tools/render/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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
std::string trace(const std::vector<float>& gains, double plotWidth, double plotHeight) {
    std::ostringstream points;
    const std::size_t frames = gains.size();
    const auto columns = static_cast<std::size_t>(plotWidth);
    const auto y = [&](float g) {
        return kTop +
               plotHeight * (1.0 - std::clamp(static_cast<double>(g), 0.0, kGainTop) / kGainTop);
    };
    for (std::size_t column = 0; column < columns && frames > 0; ++column) {
        const std::size_t begin = column * frames / columns;
        const std::size_t end = std::max(begin + 1, (column + 1) * frames / columns);
        if (begin >= frames) {
            break;
        }
        const auto [low, high] =
            std::minmax_element(gains.begin() + static_cast<std::ptrdiff_t>(begin),
                                gains.begin() + static_cast<std::ptrdiff_t>(std::min(end, frames)));
        const double x = kLeft + static_cast<double>(column) + 0.5;
        // Keep the order in time so rising and falling edges draw correctly.
        const bool lowFirst = low < high;
        points << number(x) << ',' << number(y(lowFirst ? *low : *high)) << ' ' << number(x) << ','
               << number(y(lowFirst ? *high : *low)) << ' ';
    }
    return points.str();
}

}  // namespace

std::string plotSvg(const GainPlot& plot) {
    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    const double frames = static_cast<double>(std::max(plot.left.size(), std::size_t{1}));
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

    // Beat and bar grid, labelled in beats along the top.
    const double firstBeat = std::ceil(plot.startBeat - 1e-9);
    const double lastBeat = plot.startBeat + beats;
    const int beatStep = beats > 64 ? static_cast<int>(std::ceil(beats / 64.0)) : 1;
    for (double b = firstBeat; b <= lastBeat + 1e-9; b += 1.0) {
        const auto whole = static_cast<long long>(b);
        const bool bar = whole % plot.beatsPerBar == 0;
        if (!bar && whole % beatStep != 0) {
            continue;
        }
        const double x = xOfBeat(b);
        svg << "<line x1=\"" << number(x) << "\" y1=\"" << kTop << "\" x2=\"" << number(x)
            << "\" y2=\"" << kTop + plotHeight << "\" stroke=\"" << (bar ? "#999" : "#ddd")
            << "\" stroke-width=\"" << (bar ? 1.2 : 0.8) << "\"/>\n";
        if (bar || beats <= 32) {
            svg << "<text x=\"" << number(x) << "\" y=\"" << kTop - 6
                << "\" text-anchor=\"middle\" fill=\"#555\">" << whole << "</text>\n";
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

    // Time axis in seconds along the bottom.
    const double steps[] = {0.1, 0.25, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300};
    double step = steps[std::size(steps) - 1];
    for (const double s : steps) {
        if (seconds / s <= 16) {
            step = s;
            break;
        }
    }
    for (double s = 0; s <= seconds + 1e-9; s += step) {
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
        << trace(plot.left, plotWidth, plotHeight) << "\"/>\n"
        << "<polyline fill=\"none\" stroke=\"#e0561b\" stroke-width=\"1.6\" points=\""
        << trace(plot.right, plotWidth, plotHeight) << "\"/>\n";

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
