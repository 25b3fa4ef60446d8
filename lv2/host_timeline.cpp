#include "drifton_lv2/host_timeline.h"

#include <cmath>

namespace drifton::lv2 {

namespace {

bool usableMeter(double beatsPerBar, double beatUnit) {
    return std::isfinite(beatsPerBar) && beatsPerBar > 0.0 && beatsPerBar <= kMaxBeatsPerBar &&
           std::isfinite(beatUnit) && beatUnit >= 1.0 && beatUnit <= kMaxBeatUnit &&
           beatUnit == std::floor(beatUnit);
}

std::optional<double> finite(double value) {
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

std::optional<double> quarterNotes(const TimePosition& position, double beatsPerBar,
                                   double beatUnit) {
    const double perBar = position.beatsPerBar.value_or(beatsPerBar);
    const double unit = position.beatUnit.value_or(beatUnit);
    if (!usableMeter(perBar, unit)) {
        return std::nullopt;
    }
    const double quartersPerBeat = 4.0 / unit;
    if (position.beat.has_value() && std::isfinite(*position.beat)) {
        return finite(*position.beat * quartersPerBeat);
    }
    if (!position.bar.has_value() || !position.barBeat.has_value() ||
        !std::isfinite(*position.bar) || !std::isfinite(*position.barBeat)) {
        return std::nullopt;
    }
    const double wholeBeats = std::floor(*position.barBeat);
    if (wholeBeats < 0.0 || wholeBeats >= perBar) {
        return std::nullopt;
    }
    const double fraction = *position.barBeat - wholeBeats;
    return finite((*position.bar * perBar + wholeBeats) * quartersPerBeat + fraction);
}

void TempoNoteValue::observe(const TimePosition& position, std::optional<double> quarterNotes,
                             std::int64_t framesRun, double sampleRate) {
    const auto usable = [](const std::optional<double>& v) { return v && std::isfinite(*v); };
    if (!usable(position.frame) || !quarterNotes || position.speed != 1.0 ||
        !usable(position.beatsPerMinute) || *position.beatsPerMinute <= 0.0) {
        first_.reset();
        last_.reset();
        return;
    }
    const Anchor now{*position.frame, *quarterNotes, *position.beatsPerMinute};
    const bool continues = last_ && last_->beatsPerMinute == now.beatsPerMinute && framesRun > 0 &&
                           now.frame - last_->frame == static_cast<double>(framesRun);
    last_ = now;
    if (!continues) {
        first_ = now;
        return;
    }
    const double expected = (now.frame - first_->frame) * now.beatsPerMinute / 60.0 / sampleRate;
    if (!(sampleRate > 0.0) || !(expected >= kShortestRun)) {
        return;
    }
    const double moved = now.quarterNotes - first_->quarterNotes;
    for (const double noteValue : {0.25, 0.5, 1.0, 2.0, 4.0}) {
        if (std::fabs(moved - noteValue * expected) <=
            kTolerance * noteValue * expected + kRounding) {
            factor_ = noteValue;
            break;
        }
    }
    first_ = now;
}

void HostTimeline::apply(const TimePosition& position) {
    position_ = quarterNotes(position, beatsPerBar_, beatUnit_);
    noteValue_.observe(position, position_, framesSinceObject_, sampleRate_);
    framesSinceObject_ = 0;
    const double perBar = position.beatsPerBar.value_or(beatsPerBar_);
    const double unit = position.beatUnit.value_or(beatUnit_);
    if (usableMeter(perBar, unit)) {
        beatsPerBar_ = perBar;
        beatUnit_ = unit;
    }
    tempo_.reset();
    if (position.beatsPerMinute.has_value() && std::isfinite(*position.beatsPerMinute) &&
        *position.beatsPerMinute > 0.0) {
        tempo_ = *position.beatsPerMinute * noteValue_.factor();
    }
    // An object states the transport afresh: without a usable speed it stands.
    speed_ = position.speed.has_value() && std::isfinite(*position.speed) ? *position.speed : 0.0;
}

void HostTimeline::advance(std::int32_t frames, double sampleRate) {
    if (frames > 0) {
        framesSinceObject_ += frames;
        sampleRate_ = sampleRate;
    }
    if (speed_ == 0.0 || !position_.has_value() || frames <= 0) {
        return;
    }
    const double tempo = tempo_.value_or(PanEngine::kDefaultTempo);
    // The expression a VST host uses from block to block, so that pieces
    // split where its blocks would be land on the same positions.
    position_ = *position_ + static_cast<double>(frames) * (tempo * speed_ / 60.0) / sampleRate;
}

}  // namespace drifton::lv2
