// The AVX2+FMA path, built with -mavx2 -mfma (engine/CMakeLists.txt): four
// doubles or eight floats per register, fused multiply-adds, floor in one
// instruction. Chosen only where the CPU and the operating system support it.
#include <immintrin.h>

#include "pan_kernel_paths.h"
#include "pan_kernel_stages.h"

#if !defined(__AVX2__) || !defined(__FMA__)
#error "pan_kernel_avx2.cpp must be built with -mavx2 -mfma"
#endif

namespace drifton {
namespace {

struct Avx2FmaIsa {
    static constexpr bool kFused = true;
    static constexpr bool kRoundsInRegisters = true;
    static constexpr int kGroup = 8;
    using FilterInput = double;
    static constexpr int kFloatLanes = 8;

    [[gnu::always_inline]] static __m256d multiplyAdd(__m256d a, __m256d b, __m256d c) {
        return _mm256_fmadd_pd(a, b, c);
    }
    [[gnu::always_inline]] static __m256 multiplyAdd(__m256 a, __m256 b, __m256 c) {
        return _mm256_fmadd_ps(a, b, c);
    }
};

}  // namespace

void kernel::processAvx2Fma(SmoothingFilter& f, const BlockSettings& s, const StereoBlock& b) {
    processChunks<Avx2FmaIsa>(f, s, b);
}

void kernel::panTargetsAvx2Fma(const BlockSettings& s, std::int32_t first, std::int32_t count,
                               float* x) {
    panTargetsInto<Avx2FmaIsa>(s, first, count, x);
}

}  // namespace drifton
