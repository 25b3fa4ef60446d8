#include "tools/render/demo_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace render {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

double midiToHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// Repeatable white noise in -1..1 from the frame number.
double noiseAt(std::int64_t n) {
    auto x = static_cast<std::uint64_t>(n) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    return static_cast<double>(x >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

// Root notes of the four chords (A minor, F, C, G) and their triads.
constexpr int kRoots[4] = {45, 41, 48, 43};
constexpr int kTriads[4][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};

}  // namespace

DemoSource::DemoSource(double tempo)
    : beatSeconds_(60.0 / tempo),
      total_(static_cast<std::int64_t>(std::llround(kBars * 4 * beatSeconds_ * kSampleRate))) {}

std::size_t DemoSource::read(float* left, float* right, std::size_t frames) {
    const auto count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(frames), total_ - done_));
    for (std::size_t i = 0; i < count; ++i) {
        const float x = sampleAt(done_ + static_cast<std::int64_t>(i));
        left[i] = x;
        right[i] = x;
    }
    done_ += static_cast<std::int64_t>(count);
    return count;
}

float DemoSource::sampleAt(std::int64_t n) const {
    const double t = static_cast<double>(n) / kSampleRate;
    const double beats = t / beatSeconds_;
    const auto bar = static_cast<int>(beats / 4.0);
    const int chord = bar % 4;

    // Kick on every beat: a sine falling from 150 Hz to 50 Hz.
    const double sinceBeat = (beats - std::floor(beats)) * beatSeconds_;
    const double kickPhase =
        kTwoPi * (50.0 * sinceBeat + 100.0 * 0.03 * (1.0 - std::exp(-sinceBeat / 0.03)));
    const double kick = std::sin(kickPhase) * std::exp(-sinceBeat / 0.18);

    // Hi-hat on the off-beat eighths: bright noise, short decay.
    const double eighths = beats * 2.0;
    const double sinceEighth = (eighths - std::floor(eighths)) * beatSeconds_ * 0.5;
    const bool offBeat = static_cast<std::int64_t>(eighths) % 2 == 1;
    const double hat =
        offBeat ? (noiseAt(n) - noiseAt(n - 1)) * 0.5 * std::exp(-sinceEighth / 0.025) : 0.0;

    // Bass: the chord's root in eighths, two harmonics, plucked.
    const double bassHz = midiToHz(kRoots[chord]);
    const double bass =
        (std::sin(kTwoPi * bassHz * t) + 0.35 * std::sin(2.0 * kTwoPi * bassHz * t)) *
        std::exp(-sinceEighth / 0.12);

    // Arpeggio: the triad up and down in sixteenths, an octave up every other bar.
    const double sixteenths = beats * 4.0;
    const auto step = static_cast<int>(sixteenths) % 4;
    const double sinceSixteenth = (sixteenths - std::floor(sixteenths)) * beatSeconds_ * 0.25;
    constexpr int kOrder[4] = {0, 1, 2, 1};
    const int note = kTriads[chord][kOrder[step]] + 12 * (bar % 2);
    const double arpHz = midiToHz(note);
    const double arp = (std::sin(kTwoPi * arpHz * t) + 0.25 * std::sin(3.0 * kTwoPi * arpHz * t)) *
                       std::exp(-sinceSixteenth / 0.09);

    return static_cast<float>(0.22 * kick + 0.12 * hat + 0.12 * bass + 0.1 * arp);
}

}  // namespace render
