// The panner's small DSP units on their own: the smoothing filter's response,
// the oscillator's shapes at known phases, the wrapping of start positions and
// the sweep clock's choice of each block's start.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>

#include "engine/pan_oscillator.h"
#include "engine/smoothing_filter.h"
#include "engine/sweep_clock.h"

namespace {

using drifton::SmoothingCoefficients;

std::complex<double> response(const SmoothingCoefficients& c, double radians) {
    const std::complex<double> z1 = std::polar(1.0, -radians);
    const std::complex<double> z2 = z1 * z1;
    const auto d = [](float v) { return static_cast<double>(v); };
    return (d(c.b0) + d(c.b1) * z1 + d(c.b2) * z2) / (d(c.a0) + d(c.a1) * z1 + d(c.a2) * z2);
}

TEST(SmoothingFilter, IsAnEightKilohertzLowPassAt44100) {
    const SmoothingCoefficients c = drifton::smoothingCoefficients(44100.0f);
    const double pi = std::acos(-1.0);
    EXPECT_NEAR(1.0, std::abs(response(c, 0.0)), 1e-6) << "unity gain at DC";
    EXPECT_NEAR(0.0, std::abs(response(c, pi)), 1e-6) << "nothing at Nyquist";
    EXPECT_NEAR(1.0 / std::sqrt(2.0), std::abs(response(c, 2.0 * pi * 8000.0 / 44100.0)), 1e-3)
        << "-3 dB at 8000 Hz";
    EXPECT_LT(std::abs(response(c, 2.0 * pi * 16000.0 / 44100.0)), 0.3);
}

TEST(PanOscillator, ShapesAtKnownPhases) {
    using namespace drifton;
    // Phase 0.5 is the left extreme of the first half-cycle, 1.5 the right one.
    EXPECT_EQ(0.0f, shapeValue(kTriangle, 0.0f));
    EXPECT_EQ(-0.5f, shapeValue(kTriangle, 0.25f));
    EXPECT_EQ(-1.0f, shapeValue(kTriangle, 0.5f));
    EXPECT_EQ(0.0f, shapeValue(kTriangle, 1.0f));
    EXPECT_EQ(1.0f, shapeValue(kTriangle, 1.5f));
    EXPECT_EQ(0.5f, shapeValue(kTriangle, 1.75f));

    EXPECT_NEAR(-std::sqrt(0.5f), shapeValue(kSineShaped, 0.25f), 1e-6f);
    EXPECT_NEAR(-1.0f, shapeValue(kSineShaped, 0.5f), 1e-6f);
    EXPECT_NEAR(1.0f, shapeValue(kSineShaped, 1.5f), 1e-6f);

    EXPECT_EQ(-1.0f, shapeValue(kSquare, 0.0f));
    EXPECT_EQ(-1.0f, shapeValue(kSquare, 0.999f));
    EXPECT_EQ(1.0f, shapeValue(kSquare, 1.0f));
    EXPECT_EQ(1.0f, shapeValue(kSquare, 1.999f));

    EXPECT_EQ(0.0f, shapeValue(3, 0.5f)) << "an unknown shape holds the centre";
    EXPECT_EQ(0.0f, shapeValue(-1, 1.5f));
}

// The constant replaced a square root taken when the library was loaded; the
// pan law at the centre then passes the signal at unity.
TEST(PanOscillator, OutputGainIsTheFloatSquareRootOfTwo) {
    volatile float two = 2.0f;  // computed at run time, by the library's sqrtf
    EXPECT_EQ(std::bit_cast<std::uint32_t>(std::sqrt(two)),
              std::bit_cast<std::uint32_t>(drifton::outputGain));
    EXPECT_FLOAT_EQ(1.0f, drifton::panGain(0.5f) * drifton::outputGain);
}

TEST(PanOscillator, StartPositionsWrapOnlyWhenNegativeOrBeyondFloat) {
    using drifton::wrapStartPosition;
    EXPECT_EQ(0.0, wrapStartPosition(0.0, 2.0f));
    EXPECT_EQ(4321.37, wrapStartPosition(4321.37, 2.0f));
    EXPECT_EQ(0.375, wrapStartPosition(-3.625, 2.0f));
    EXPECT_EQ(0.0, wrapStartPosition(-4.0, 2.0f));
    EXPECT_EQ(0.0625, wrapStartPosition(-0.0625, 0.125f));
    for (const double start : {-1e39, 1e39, -1e300, 1e300, -1e-300}) {
        const double wrapped = wrapStartPosition(start, 0.125f);
        EXPECT_GE(wrapped, 0.0) << start;
        EXPECT_LE(wrapped, 0.125) << start;
    }
}

// One block after another: what the host reports, where the block must
// start, and where it ends.
TEST(SweepClock, FollowsAMovingOrPlayingSongAndRunsOnOtherwise) {
    struct Block {
        std::optional<double> host;
        bool playing;
        double start;
        double end;
    };
    const Block blocks[] = {
        {std::nullopt, false, 0.0, 1.5},  // no position: from 0
        {std::nullopt, false, 1.5, 2.0},  // and on from there
        {4.0, false, 4.0, 4.5},           // a position: the host leads
        {4.0, false, 4.5, 5.0},           // it stands still, stopped: run on
        {4.0, true, 4.0, 4.5},            // the same position while playing
        {4.0, false, 4.5, 7.5},           // stopped again
        {7.5, false, 7.5, 9.25},          // a seek; the end wraps at 8 beats
        {std::nullopt, false, 1.25, 2.0},
        {7.5, false, 7.5, 8.0},  // the same as two blocks ago, not the last
    };
    drifton::SweepClock clock;
    int n = 0;
    for (const Block& b : blocks) {
        EXPECT_EQ(b.start, clock.blockStart(b.host, b.playing)) << "block " << n;
        clock.blockEnded(b.end);
        EXPECT_LT(clock.runningPosition(), drifton::SweepClock::kWrapBeats) << "block " << n++;
    }
    drifton::SweepClock longRun;
    longRun.blockEnded(8.0e6 + 1.25);
    EXPECT_EQ(1.25, longRun.runningPosition());
}

// The clock's wrap counts whole wraps without fmod below 2^52 beats: it must
// give fmod's value bit for bit on both sides of that bound, at exact
// multiples, just below them and at the float range's end.
TEST(SweepClock, WrapsTheEndExactlyAsTheRemainderWould) {
    const double ends[] = {0.0,
                           1e-300,
                           7.999999999999999,
                           8.0,
                           8.000000000000002,
                           12345.678901234,
                           std::nextafter(4503599627370496.0, 0.0),
                           4503599627370496.0,
                           4503599627370497.0 * 3.0,
                           9.2233720368547758e18,
                           3.4028234663852886e38};
    for (const double end : ends) {
        drifton::SweepClock clock;
        clock.blockEnded(end);
        EXPECT_EQ(std::fmod(end, drifton::SweepClock::kWrapBeats), clock.runningPosition()) << end;
    }
}

}  // namespace
