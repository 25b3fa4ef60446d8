#include "time_variants.h"

#include <limits>

namespace validate {

namespace {

constexpr VstInt32 kBothValid = kVstPpqPosValid | kVstTempoValid;

void setTime(TestInstance& instance, VstInt32 flags, double ppq, double tempo) {
    instance.setTimeAvailable(true);
    instance.time().flags = flags;
    instance.time().ppqPos = ppq;
    instance.time().tempo = tempo;
}

double beatsAfter(const TestInstance& instance, double samples, double tempo) {
    return samples / instance.hostRate() * tempo / 60.0;
}

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

}  // namespace

const std::vector<TimeVariant>& timeVariants() {
    static const std::vector<TimeVariant> variants = {
        {"steady", [](TestInstance& t, Rng&, int,
                      double s) { setTime(t, kBothValid, beatsAfter(t, s, 120.0), 120.0); }},
        {"no record", [](TestInstance& t, Rng&, int, double) { t.setTimeAvailable(false); }},
        {"no flags",
         [](TestInstance& t, Rng&, int, double s) { setTime(t, 0, beatsAfter(t, s, 90.0), 90.0); }},
        {"position only",
         [](TestInstance& t, Rng&, int, double s) {
             setTime(t, kVstPpqPosValid, beatsAfter(t, s, 120.0), 0.0);
         }},
        {"tempo only",
         [](TestInstance& t, Rng&, int, double) { setTime(t, kVstTempoValid, 0.0, 140.0); }},
        {"count-in",
         [](TestInstance& t, Rng&, int, double s) {
             setTime(t, kBothValid, -8.0 + beatsAfter(t, s, 100.0), 100.0);
         }},
        {"jumps",
         [](TestInstance& t, Rng& rng, int, double) {
             setTime(t, kBothValid, rng.uniform(0.0, 1e5), rng.uniform(20.0, 999.0));
         }},
        {"loops", [](TestInstance& t, Rng&, int block,
                     double) { setTime(t, kBothValid, 4.0 + 0.25 * (block % 3), 120.0); }},
        {"tempo ramp",
         [](TestInstance& t, Rng&, int block, double s) {
             const double tempo = 20.0 + 40.0 * block;
             setTime(t, kBothValid, beatsAfter(t, s, tempo), tempo);
         }},
    };
    return variants;
}

const std::vector<TimeVariant>& hostileTimeVariants() {
    static const std::vector<TimeVariant> variants = {
        {"NaN position",
         [](TestInstance& t, Rng&, int, double) { setTime(t, kBothValid, nan, 120.0); }},
        {"NaN tempo", [](TestInstance& t, Rng&, int,
                         double s) { setTime(t, kBothValid, beatsAfter(t, s, 120.0), nan); }},
        {"infinite",
         [](TestInstance& t, Rng&, int block, double) {
             setTime(t, kBothValid, block % 2 == 0 ? inf : -inf, block % 2 == 0 ? -inf : inf);
         }},
        {"negative tempo",
         [](TestInstance& t, Rng&, int, double s) {
             setTime(t, kBothValid, -1000.0 + beatsAfter(t, s, 120.0), -120.0);
         }},
        {"huge",
         [](TestInstance& t, Rng&, int block, double) {
             setTime(t, kBothValid, block % 2 == 0 ? 1e300 : 1e15, block % 3 == 0 ? 1e300 : 1e9);
         }},
        {"tiny tempo", [](TestInstance& t, Rng&, int block,
                          double) { setTime(t, kBothValid, 1.0, block % 2 == 0 ? 1e-300 : 0.0); }},
    };
    return variants;
}

std::vector<float> validSampleRates() {
    return {8000.0f,  11025.0f, 16000.0f,  22050.0f,  44100.0f,  48000.0f,
            88200.0f, 96000.0f, 176400.0f, 192000.0f, 384000.0f, 768000.0f};
}

std::vector<float> invalidSampleRates() {
    return {0.0f,
            -44100.0f,
            std::numeric_limits<float>::quiet_NaN(),
            std::numeric_limits<float>::infinity(),
            -std::numeric_limits<float>::infinity(),
            1e-30f,
            std::numeric_limits<float>::denorm_min()};
}

}  // namespace validate
