// The kernel paths' entries, one pair per instruction set, each defined in
// its own translation unit (pan_kernel_<isa>.cpp) and listed in the dispatch
// table of pan_block_kernel.cpp.
#pragma once

#include <cstdint>

#include "engine/pan_block_kernel.h"

namespace drifton::kernel {

void processBaseline(SmoothingFilter& filter, const BlockSettings& s, const StereoBlock& b);
void panTargetsBaseline(const BlockSettings& s, std::int32_t first, std::int32_t count, float* x);

#if DRIFTON_KERNEL_AVX2
void processAvx2Fma(SmoothingFilter& filter, const BlockSettings& s, const StereoBlock& b);
void panTargetsAvx2Fma(const BlockSettings& s, std::int32_t first, std::int32_t count, float* x);
#endif

#if DRIFTON_KERNEL_NEON
void processNeon(SmoothingFilter& filter, const BlockSettings& s, const StereoBlock& b);
void panTargetsNeon(const BlockSettings& s, std::int32_t first, std::int32_t count, float* x);
#endif

}  // namespace drifton::kernel
