#include "tests/block_driver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

namespace pantest {

std::string describe(const Scenario& s) {
    std::ostringstream text;
    text << "period " << s.periodIndex << ", shape " << s.waveShape << ", width " << s.width
         << ", shift " << s.phaseShift << ", tempo " << s.tempo << ", start " << s.start
         << ", frames " << s.frames << ", blocks";
    for (const int b : s.blocks) {
        text << ' ' << b;
    }
    text << (s.inPlace ? ", in place" : "") << ", time mode " << static_cast<int>(s.time);
    if (s.rateChangeAt >= 0) {
        text << ", rate " << s.newRate << " from " << s.rateChangeAt;
    }
    if (s.reportedPosition) {
        text << ", reported position " << *s.reportedPosition;
    }
    if (s.reportedTempo) {
        text << ", reported tempo " << *s.reportedTempo;
    }
    if ((s.reportedPosition || s.reportedTempo) &&
        s.reportedUntil != std::numeric_limits<int>::max()) {
        text << " until " << s.reportedUntil;
    }
    for (const TransportChange& t : s.transport) {
        text << ", from " << t.atFrame << ": " << (t.rolling ? "rolling" : "stopped");
        if (t.position) {
            text << " at " << *t.position;
        }
    }
    if (s.tempoChangeAt >= 0) {
        text << ", tempo " << s.newTempo << " from " << s.tempoChangeAt;
    }
    text << (s.playingFlag ? ", playing flag" : "");
    for (const ParameterChange& c : s.changes) {
        const PanParameters& p = c.parameters;
        text << ", from " << c.atFrame << ": period " << p.periodIndex << " shape " << p.waveShape
             << " width " << p.width << " shift " << p.phaseShift;
    }
    return text.str();
}

Stereo noise(int frames, unsigned seed) {
    Stereo out;
    unsigned state = seed * 2654435761u + 12345u;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
    };
    for (int i = 0; i < frames; ++i) {
        out.left.push_back(next());
        out.right.push_back(next());
    }
    return out;
}

Stereo constant(int frames, float value) {
    const auto size = static_cast<std::size_t>(frames);
    return Stereo{std::vector<float>(size, value), std::vector<float>(size, value)};
}

Stereo runModel(const Scenario& s, const Stereo& input, PanModel* finalState) {
    Stereo out{std::vector<float>(input.left.size()), std::vector<float>(input.right.size())};
    PanModel model;
    drive(
        s, [&](float rate) { model.setSampleRate(rate); },
        [&](const PanParameters& c) {
            model.periodIndex = c.periodIndex;
            model.waveShape = c.waveShape;
            model.width = c.width;
            model.phaseShift = c.phaseShift;
        },
        [&](int offset, int frames, const BlockTime& time) {
            const auto at = static_cast<std::size_t>(offset);
            model.process(time.reported, input.left.data() + at, input.right.data() + at,
                          out.left.data() + at, out.right.data() + at, frames);
        });
    if (finalState != nullptr) {
        *finalState = model;
    }
    return out;
}

double maxDifference(const Stereo& a, const Stereo& b) {
    if (a.left.size() != b.left.size() || a.right.size() != b.right.size()) {
        return std::numeric_limits<double>::infinity();
    }
    const auto difference = [](float x, float y) {
        const double d = std::fabs(static_cast<double>(x) - static_cast<double>(y));
        // NaN on either side never passes.
        return std::isnan(d) ? std::numeric_limits<double>::infinity() : d;
    };
    double worst = 0.0;
    for (std::size_t i = 0; i < a.left.size(); ++i) {
        worst =
            std::max({worst, difference(a.left[i], b.left[i]), difference(a.right[i], b.right[i])});
    }
    return worst;
}

}  // namespace pantest
