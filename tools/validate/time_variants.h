// How hosts fill the time record, and the sample rates they run at: the
// realistic ones for the default levels, the hostile ones for the hostile
// check.
#pragma once

#include <vector>

#include "rng.h"
#include "test_instance.h"

namespace validate {

// One way a host fills its time record, applied before each block.
struct TimeVariant {
    const char* name;
    // block: index of the block; samplesBefore: frames processed before it.
    void (*apply)(TestInstance& instance, Rng& rng, int block, double samplesBefore);
};
// What hosts send: steady playback, no record, no or partial flags, a
// count-in, jumps, loops, tempo ramps.
const std::vector<TimeVariant>& timeVariants();
// What no host should send: NaN, infinite, negative or zero tempo, huge values.
const std::vector<TimeVariant>& hostileTimeVariants();

// Sample rates hosts use, and ones no host should send but some do.
std::vector<float> validSampleRates();
std::vector<float> invalidSampleRates();

}  // namespace validate
