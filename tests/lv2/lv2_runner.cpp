#include "lv2_runner.h"

#include <cmath>
#include <optional>
#include <stdexcept>
#include <vector>

#include "drifton_lv2/host_timeline.h"

namespace lv2test {

namespace {

struct Piece {
    int offset = 0;
    int frames = 0;
    pantest::BlockTime time;
    std::optional<pantest::PanParameters> parameters;  // set before this piece
};

drifton::lv2::TimePosition asRead(const lv2host::TimePosition& t) {
    const auto rounded = [&](const std::optional<double>& v, char type) -> std::optional<double> {
        if (!v || !t.ardourTypes) {
            return v;
        }
        if (type == 'f') {
            return static_cast<double>(static_cast<float>(*v));
        }
        return std::trunc(*v);
    };
    return {t.beat,
            rounded(t.bar, 'l'),
            rounded(t.barBeat, 'f'),
            rounded(t.beatsPerBar, 'f'),
            rounded(t.beatUnit, 'i'),
            rounded(t.beatsPerMinute, 'f'),
            rounded(t.speed, 'f'),
            rounded(t.frame, 'l')};
}

// Whether a host sending only changes sends nothing: what the plug-in keeps
// is what the host reports, but for the rounding of positions moved on in
// pieces of other lengths.
bool sameTransport(const drifton::Transport& kept, const HostTime& reported) {
    const auto same = [](const std::optional<double>& a, const std::optional<double>& b) {
        // NaN never equals itself: such a value is always sent again.
        return a.has_value() == b.has_value() &&
               (!a || *a == *b || std::fabs(*a - *b) <= 1e-9 * std::fmax(1.0, std::fabs(*a)));
    };
    return kept.playing == reported.playing && same(kept.position, reported.position) &&
           same(kept.tempo, reported.tempo);
}

}  // namespace

lv2host::TimePosition positionOf(const HostTime& time, const HostStyle& style, int frame) {
    lv2host::TimePosition t;
    t.ardourTypes = style.ardourTypes;
    t.speed = time.playing ? 1.0 : 0.0;
    t.beatsPerMinute = time.tempo;
    if (time.tempo && style.tempoNote != 4) {
        t.beatsPerMinute = *time.tempo * style.tempoNote / 4.0;
    }
    if (style.frameKey) {
        t.frame = frame;
    }
    if (!time.position) {
        return t;
    }
    t.beatsPerBar = style.meter.beatsPerBar;
    t.beatUnit = style.meter.beatUnit;
    const double q = *time.position;
    const double unitsPerQuarter = style.meter.beatUnit / 4.0;
    if (style.beatKey || !std::isfinite(q)) {
        t.beat = q * unitsPerQuarter;
        return t;
    }
    // Whole beats of the meter's unit into the bar, plus the fraction of a
    // quarter note since that beat: what Ardour sends.
    const double beats = q * unitsPerQuarter;
    const double bar = std::floor(beats / style.meter.beatsPerBar);
    const double inBar = beats - bar * style.meter.beatsPerBar;
    const double whole = std::floor(inBar);
    t.bar = bar;
    t.barBeat = whole + (inBar - whole) / unitsPerQuarter;
    return t;
}

pantest::Scenario withBlocks(const pantest::Scenario& s, const std::vector<int>& pieces) {
    pantest::Scenario cut = s;
    cut.blocks = pieces;
    return cut;
}

Lv2Run runLv2(lv2host::Plugin& plugin, const pantest::Scenario& s, const pantest::Stereo& input,
              const HostStyle& style) {
    if (s.rateChangeAt >= 0) {
        throw std::invalid_argument("an LV2 instance keeps its sample rate");
    }
    constexpr double kRate = 44100.0;
    std::vector<Piece> pieces;
    std::optional<pantest::PanParameters> pending;
    pantest::drive(
        s, [](float) {}, [&](const pantest::PanParameters& p) { pending = p; },
        [&](int offset, int frames, const pantest::BlockTime& time) {
            if (frames > 0) {
                pieces.push_back({offset, frames, time, pending});
                pending.reset();
            }
        });

    Lv2Run run{{input.left, input.right}, {}};
    pantest::Stereo& out = run.out;
    std::vector<float> inLeft = input.left, inRight = input.right;
    std::string error;
    auto instance = plugin.instantiate(kRate, {}, &error);
    if (instance == nullptr) {
        throw std::runtime_error(error);
    }
    if (style.sending == Sending::kUnconnected) {
        instance->disconnectTime();
    }
    const bool sends = style.sending == Sending::kEveryPiece || style.sending == Sending::kOnChange;
    // What the plug-in keeps of the transport, to tell when a host sending
    // only changes has to send.
    drifton::lv2::HostTimeline kept;
    bool sentAny = false;

    std::vector<lv2host::Event> events;
    for (std::size_t first = 0; first < pieces.size();) {
        if (pieces[first].parameters) {
            const pantest::PanParameters& p = *pieces[first].parameters;
            instance->setControl("period", static_cast<float>(p.periodIndex));
            instance->setControl("type", static_cast<float>(p.waveShape));
            instance->setControl("width", p.width * 100.0f);
            instance->setControl("phase", p.phaseShift * 180.0f);
        }
        std::size_t end = first + 1;
        while (end < pieces.size() &&
               end - first < static_cast<std::size_t>(style.piecesPerBlock) &&
               !pieces[end].parameters) {
            ++end;
        }
        const int blockStart = pieces[first].offset;
        const int frames = pieces[end - 1].offset + pieces[end - 1].frames - blockStart;
        events.clear();
        int pieceStart = blockStart;
        for (std::size_t i = first; i < end; ++i) {
            const int offset = pieces[i].offset;
            const HostTime& reported = pieces[i].time.reported;
            const bool change = !sentAny || !sameTransport(kept.transport(), reported);
            if (sends && (style.sending == Sending::kEveryPiece || change)) {
                if (offset > pieceStart) {
                    run.pieces.push_back(offset - pieceStart);
                    kept.advance(offset - pieceStart, kRate);
                    pieceStart = offset;
                }
                const lv2host::TimePosition t = positionOf(reported, style, offset);
                events.push_back({offset - blockStart, t});
                kept.apply(asRead(t));
                sentAny = true;
            }
        }
        run.pieces.push_back(blockStart + frames - pieceStart);
        kept.advance(blockStart + frames - pieceStart, kRate);
        const auto at = static_cast<std::size_t>(blockStart);
        float* outL = out.left.data() + at;
        float* outR = out.right.data() + at;
        instance->run(s.inPlace ? outL : inLeft.data() + at, s.inPlace ? outR : inRight.data() + at,
                      outL, outR, static_cast<std::uint32_t>(frames), events);
        first = end;
    }
    return run;
}

}  // namespace lv2test
