// The NEON path, on every AArch64 CPU: Advanced SIMD, fused multiply-add and
// floor in one instruction (frintm) are all base AArch64, so it is built with
// the default instruction set. Two doubles or four floats per register; a
// group of four filter outputs keeps its matrix and history responses in 14
// of the 32 vector registers.
#include <arm_neon.h>

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
    // ld1r broadcasts a double from memory in one instruction.
    using FilterInput = double;
    static constexpr int kFloatLanes = 4;

    // a * b + c, rounded once (fmla), on two doubles or four floats.
    template <class Vector>
    [[gnu::always_inline]] static Vector multiplyAdd(Vector a, Vector b, Vector c) {
        if constexpr (sizeof(a[0]) == sizeof(double)) {
            return bitsAs<Vector>(
                vfmaq_f64(bitsAs<float64x2_t>(c), bitsAs<float64x2_t>(a), bitsAs<float64x2_t>(b)));
        } else {
            return bitsAs<Vector>(
                vfmaq_f32(bitsAs<float32x4_t>(c), bitsAs<float32x4_t>(a), bitsAs<float32x4_t>(b)));
        }
    }
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
