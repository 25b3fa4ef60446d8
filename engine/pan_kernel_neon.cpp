// The NEON path, on every AArch64 CPU: Advanced SIMD, fused multiply-add and
// floor in one instruction (frintm) are all base AArch64, so it is built with
// the default instruction set. Two doubles or four floats per register; a
// group of four filter outputs keeps its matrix and history responses in 12
// of the 32 vector registers.
#include "pan_kernel_paths.h"
#include "pan_kernel_stages.h"

#if !defined(__aarch64__)
#error "pan_kernel_neon.cpp is built for AArch64 only"
#endif

namespace drifton {
namespace {

struct NeonIsa {
    static constexpr bool kFused = true;
    static constexpr bool kRoundsInRegisters = true;
    static constexpr int kGroup = 4;
    static constexpr int kFloatLanes = 4;
};

}  // namespace

void kernel::processNeon(SmoothingFilter& f, const BlockSettings& s, const StereoBlock& b) {
    processChunks<NeonIsa>(f, s, b);
}

void kernel::panTargetsNeon(const BlockSettings& s, std::int32_t first, std::int32_t count,
                            float* x) {
    panTargetsInto<NeonIsa>(s, first, count, x);
}

}  // namespace drifton
