// Where each block's sweep starts. The host's song position leads whenever it
// moves or the host says its transport is playing, so playback, loops and
// seeks follow the song. Without a usable position, or with one that stands
// still while the transport is stopped, the sweep runs on from where the
// previous block ended instead of restarting every block. No host types.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

namespace drifton {

class SweepClock {
public:
    // The running position is kept modulo this many beats: every period's
    // cycle (8 / N beats for the division 1/N) divides it, so hours of free
    // running keep their precision and a change of period lands on the phase
    // a song position counted from 0 would give.
    static constexpr double kWrapBeats = 8.0;

    // The start position of a block: the host's `hostPosition` (valid and
    // finite, or none) when it differs from the previous block's or the
    // transport is `playing`; otherwise where the previous block ended (0 for
    // the first block).
    double blockStart(std::optional<double> hostPosition, bool playing) {
        const bool follow =
            hostPosition.has_value() && (playing || !(previousHost_ == hostPosition));
        previousHost_ = hostPosition;
        return follow ? *hostPosition : running_;
    }

    // Records where the block ended; `end` is finite and not negative.
    // Below 2^52 the whole wraps are counted with an integer conversion
    // instead of a call: end / 8 is exact, its truncation is the floor, and
    // end minus that many wraps is fmod's value, which a float can hold, so
    // the subtraction is exact too.
    void blockEnded(double end) {
        constexpr double kCountedBelow = 4503599627370496.0;  // 2^52
        running_ = end < kCountedBelow
                       ? end - kWrapBeats *
                                   static_cast<double>(static_cast<std::int64_t>(end / kWrapBeats))
                       : std::fmod(end, kWrapBeats);
    }

    double runningPosition() const { return running_; }

private:
    double running_ = 0.0;
    std::optional<double> previousHost_;
};

}  // namespace drifton
