#include "DenseAvx2.h"
#include "GruStepAvx2.h"
#include "RationalTanhAvx2.h"

// The hyper-network runs on every control change, on the audio thread, and its projections are
// row-times-matrix products on column-major weights: each output is a dot product of 16. Built
// for the baseline x86-64, Eigen runs them in 4-lane vectors at about 2 us per call; eight
// outputs at a time in 8-lane multiply-adds, summed across lanes with one transposing add tree,
// take a fraction of that.

namespace Tovani
{
namespace
{
LUMBRANE_AVX2 void dense16Avx2 (const float* in, const float* weight, const float* bias, float* out,
                                int outputs) noexcept
{
    const __m256 lo = _mm256_loadu_ps (in), hi = _mm256_loadu_ps (in + 8);

    for (int o = 0; o < outputs; o += 8)
    {
        const float* w = weight + o * 16;
        __m256 p[8];
        for (int j = 0; j < 8; ++j)
            p[j] = _mm256_fmadd_ps (hi, _mm256_loadu_ps (w + j * 16 + 8), _mm256_mul_ps (lo, _mm256_loadu_ps (w + j * 16)));

        // Lanes of p[j] sum to output j: pairwise adds leave [0 1 2 3 | 0 1 2 3] halves to add.
        const __m256 p0123 = _mm256_hadd_ps (_mm256_hadd_ps (p[0], p[1]), _mm256_hadd_ps (p[2], p[3]));
        const __m256 p4567 = _mm256_hadd_ps (_mm256_hadd_ps (p[4], p[5]), _mm256_hadd_ps (p[6], p[7]));
        const __m256 sums = _mm256_add_ps (_mm256_permute2f128_ps (p0123, p4567, 0x20),
                                           _mm256_permute2f128_ps (p0123, p4567, 0x31));
        _mm256_storeu_ps (out + o, _mm256_add_ps (sums, _mm256_loadu_ps (bias + o)));
    }
}
} // namespace

Dense16Kernel nativeDense16Kernel() noexcept
{
    return nativeGruStepKernel() != nullptr ? &dense16Avx2 : nullptr;
}

} // namespace Tovani
