// The baseline path: every x86-64 CPU (SSE2), and the portable build of the
// kernel elsewhere. Built with the project's default instruction set.
#include "pan_kernel_paths.h"
#include "pan_kernel_stages.h"

namespace drifton {
namespace {

// Two doubles or four floats per register, no fused multiply-add, and floor
// as an integer round trip (a call without SSE4.1).
struct BaselineIsa {
    static constexpr bool kFused = false;
    static constexpr bool kRoundsInRegisters = false;
    static constexpr int kGroup = 4;
    using FilterInput = float;
    static constexpr int kFloatLanes = 4;

    template <class Vector>
    [[gnu::always_inline]] static Vector multiplyAdd(Vector a, Vector b, Vector c) {
        return a * b + c;
    }
};

}  // namespace

void kernel::processBaseline(SmoothingFilter& f, const BlockSettings& s, const StereoBlock& b) {
    processChunks<BaselineIsa>(f, s, b);
}

void kernel::panTargetsBaseline(const BlockSettings& s, std::int32_t first, std::int32_t count,
                                float* x) {
    panTargetsInto<BaselineIsa>(s, first, count, x);
}

}  // namespace drifton
