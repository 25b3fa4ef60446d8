// The panner's DSP engine, free of every plug-in format: the smoothing
// filter, the sweep clock, the usable sample rate and the kernel path, and the
// steps every block takes (beats per sample, start position, float-range
// hold, kernel or per-sample loop). A format's binding reads its host's
// parameters and transport, translates them into PanSettings and Transport,
// and calls process().
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "engine/pan_block_kernel.h"
#include "engine/pan_oscillator.h"
#include "engine/smoothing_filter.h"
#include "engine/sweep_clock.h"

namespace drifton {

// The four parameter fields for one block, as the engine uses them (see
// parameter_table.h for their plain ranges and defaults).
struct PanSettings {
    std::int32_t periodIndex = 3;          // into PeriodTable, 0..11
    std::int32_t waveShape = kSineShaped;  // WaveShape; any other value holds the centre
    float width = 0.75f;                   // 0..1
    float phaseShift = 0.0f;               // -1..1 half-cycles
};

// What a host says of its transport for a block, or for a piece of one: the
// song position of the first frame in quarter notes and the tempo in quarter
// notes per minute, each when the host reports it. A position that is not
// finite, and a tempo that is not finite or not above 0, count as missing.
struct Transport {
    std::optional<double> position;
    std::optional<double> tempo;
    bool playing = false;
};

class PanEngine {
public:
    // The rate an engine runs at until prepare() gives it another, and the
    // one its smoothing filter is computed for, for its whole life.
    static constexpr float kInitialSampleRate = 44100.0f;
    // Without a usable tempo the sweep runs at this many quarter notes per minute.
    static constexpr double kDefaultTempo = 120.0;
    // Rates below this, and rates that are not finite, are ignored.
    static constexpr float kLowestUsableRate = 1.0f;

    // Blocks run through `path`, which must be supported: the fastest unless
    // a test or a benchmark names one.
    explicit PanEngine(KernelPath path = fastestKernelPath());

    // [any non-audio thread] Takes a usable rate for the following blocks and
    // answers true; ignores any other (answers false). The filter keeps the
    // coefficients of the initial rate: a rate changes the sweep's timing only.
    bool prepare(float sampleRate);
    float sampleRate() const { return rate_.load(std::memory_order_relaxed); }

    // [audio-thread] One block, or one piece of a block: pans the inputs into
    // the outputs. Frames of 0 or less change nothing. Consecutive pieces
    // with a continuous transport sound as one block would. No allocation,
    // lock or system call.
    void process(const PanSettings& settings, const Transport& transport, const StereoBlock& block);

    KernelPath kernelPath() const { return path_; }
    // The filter's coefficients and history, for tests.
    SmoothingFilter& filter() { return filter_; }
    const SmoothingFilter& filter() const { return filter_; }
    // Where the sweep ended, modulo SweepClock::kWrapBeats.
    double runningPosition() const { return clock_.runningPosition(); }

private:
    SmoothingFilter filter_;
    const KernelPath path_;
    std::atomic<float> rate_{kInitialSampleRate};
    SweepClock clock_;
};

}  // namespace drifton
