// One block of the engine: every sample's pan position comes from the host's
// song position and tempo (or, when the song stands still or has no
// position, from where the sweep got to), is smoothed, and sets the two
// channel gains. The block kernel does the work; the per-sample loop takes
// positions beyond its range.
#include "engine/pan_engine.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "engine/pan_sample_loop.h"
#include "engine/parameter_table.h"

namespace drifton {

namespace {

constexpr double kLargestFloat = 3.4028234663852886e38;

std::optional<double> usablePosition(const std::optional<double>& position) {
    return position.has_value() && std::isfinite(*position) ? position : std::nullopt;
}

double usableTempo(const std::optional<double>& tempo) {
    return tempo.has_value() && std::isfinite(*tempo) && *tempo > 0.0 ? *tempo
                                                                      : PanEngine::kDefaultTempo;
}

}  // namespace

PanEngine::PanEngine(KernelPath path)
    : filter_(smoothingCoefficients(kInitialSampleRate)), path_(path) {}

bool PanEngine::prepare(float sampleRate) {
    // No host runs below 1 Hz; a smaller rate would only make the beats per
    // sample absurd, so it is ignored like zero, a negative or a non-finite one.
    if (!(std::isfinite(sampleRate) && sampleRate >= kLowestUsableRate)) {
        return false;
    }
    rate_.store(sampleRate, std::memory_order_relaxed);
    return true;
}

// Whatever finite or non-finite values the host sends, every position the
// oscillator sees is a finite float, so the output is finite:
//  - a missing or non-finite position and a missing or unusable tempo count
//    as missing: the tempo is then 120, and the sweep runs on from where the
//    previous block ended (0 for the first block), as it does when the
//    position stands still while the transport is stopped;
//  - a start position below 0 or above the float range is brought into one
//    cycle (the floored remainder), as a count-in is;
//  - a block whose positions would pass the float range holds its start
//    position for the whole block (only absurd tempos get there, since rates
//    below 1 Hz are never taken).
void PanEngine::process(const PanSettings& parameters, const Transport& transport,
                        const StereoBlock& block) {
    if (block.frames <= 0) {
        return;
    }
    BlockSettings settings;
    // Bindings clamp their values; an index outside the table still reads an entry.
    const auto lastPeriod = static_cast<std::int32_t>(PeriodTable.size()) - 1;
    const auto division =
        PeriodTable[static_cast<std::size_t>(std::clamp(parameters.periodIndex, 0, lastPeriod))];
    settings.halfCycle = halfCycleBeats(division);
    settings.cycle = 2.0f * settings.halfCycle;
    settings.waveShape = parameters.waveShape;
    settings.width = parameters.width;
    settings.phaseShift = parameters.phaseShift;

    const double rate = static_cast<double>(sampleRate());
    double beatsPerSample = 1.0 / (rate / (usableTempo(transport.tempo) / 60.0));

    const double start = wrapStartPosition(
        clock_.blockStart(usablePosition(transport.position), transport.playing), settings.cycle);
    double end = start + static_cast<double>(block.frames) * beatsPerSample;
    // The position would leave the float range within the block: hold it.
    if (!(end <= kLargestFloat)) {
        beatsPerSample = 0.0;
        end = start;
    }
    clock_.blockEnded(end);
    settings.start = start;
    settings.beatsPerSample = beatsPerSample;

    if (end < kBlockPositionLimit) {
        processPanBlock(path_, filter_, settings, block);
    } else {
        processSampleBySample(filter_, settings, block);
    }
}

}  // namespace drifton
