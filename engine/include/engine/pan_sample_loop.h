// The audio path one sample at a time, in the plain order of the algorithm:
// position, phase, shape, filter, gains. Blocks at song positions beyond the
// block kernel's range come here; it is also the readable statement of what
// the kernel computes.
#pragma once

#include <cstdint>

#include "engine/pan_block_kernel.h"
#include "engine/pan_oscillator.h"
#include "engine/smoothing_filter.h"

namespace drifton {

inline void processSampleBySample(SmoothingFilter& filter, const BlockSettings& s,
                                  const StereoBlock& b) {
    for (std::int32_t i = 0; i < b.frames; ++i) {
        const float position = positionInCycle(i, s.beatsPerSample, s.start, s.cycle);
        const float phase = phaseAt(position, s.halfCycle, s.phaseShift);
        const float pan = filter.step(panTarget(shapeValue(s.waveShape, phase), s.width));
        // Both inputs are read before either output is written, so outputs
        // may share buffers with inputs.
        const float left = b.inLeft[i];
        const float right = b.inRight[i];
        b.outLeft[i] = panGain(1.0f - pan) * left * outputGain;
        b.outRight[i] = panGain(pan) * right * outputGain;
    }
}

}  // namespace drifton
