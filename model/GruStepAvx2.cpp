#include "GruStepAvx2.h"

#include <atomic>
#include "RationalTanhAvx2.h"

namespace Tovani
{
namespace
{
/** 1 / (1 + e^-v) as 1/2 + tanh(v / 2) / 2: the same rational tanh as the block kernel, whose
    results this step must match. */
LUMBRANE_AVX2 inline __m256 sigmoid8 (__m256 v) noexcept
{
    const __m256 half = _mm256_set1_ps (0.5f);
    return _mm256_fmadd_ps (tanh8 (_mm256_mul_ps (v, half)), half, half);
}

/** [sum(s0), …, sum(s7)] from eight vectors. */
LUMBRANE_AVX2 inline __m256 sums8 (const __m256* s) noexcept
{
    const __m256 t0 = _mm256_hadd_ps (s[0], s[1]), t1 = _mm256_hadd_ps (s[2], s[3]);
    const __m256 t2 = _mm256_hadd_ps (s[4], s[5]), t3 = _mm256_hadd_ps (s[6], s[7]);
    const __m256 u0 = _mm256_hadd_ps (t0, t1), u1 = _mm256_hadd_ps (t2, t3);
    return _mm256_add_ps (_mm256_permute2f128_ps (u0, u1, 0x20), _mm256_permute2f128_ps (u0, u1, 0x31));
}

/** [sum(s0), …, sum(s3)] from four vectors. */
LUMBRANE_AVX2 inline __m128 sums4 (const __m256* s) noexcept
{
    const __m256 u = _mm256_hadd_ps (_mm256_hadd_ps (s[0], s[1]), _mm256_hadd_ps (s[2], s[3]));
    return _mm_add_ps (_mm256_castps256_ps128 (u), _mm256_extractf128_ps (u, 1));
}

LUMBRANE_AVX2 void gruStepAvx2 (const GruStep12x2& a) noexcept
{
    // Input gates: column g of wIh is the pair (w[2g], w[2g + 1]); 36 pairs in 9 vectors.
    const __m256 xx = _mm256_setr_ps (a.x[0], a.x[1], a.x[0], a.x[1], a.x[0], a.x[1], a.x[0], a.x[1]);
    for (int g = 0; g < 32; g += 8)
    {
        const __m256 lo = _mm256_mul_ps (_mm256_loadu_ps (a.wIh + 2 * g), xx);
        const __m256 hi = _mm256_mul_ps (_mm256_loadu_ps (a.wIh + 2 * g + 8), xx);
        const __m256 pairs = _mm256_hadd_ps (lo, hi);   // columns g..g+1, g+4..g+5, g+2..g+3, g+6..g+7
        _mm256_storeu_ps (a.inputGates + g, _mm256_castpd_ps (_mm256_permute4x64_pd (_mm256_castps_pd (pairs), 0xd8)));
    }
    {
        const __m256 last = _mm256_mul_ps (_mm256_loadu_ps (a.wIh + 64), xx);
        const __m128 pairs = _mm_hadd_ps (_mm256_castps256_ps128 (last), _mm256_extractf128_ps (last, 1));
        _mm_storeu_ps (a.inputGates + 32, pairs);
    }

    // Hidden gates: column g of wHh is 12 contiguous weights. Two columns span three vectors,
    // which meet the state in three patterns; the middle vector is split between the columns.
    const __m256 h0 = _mm256_loadu_ps (a.hidden);
    const __m128 h8 = _mm_loadu_ps (a.hidden + 8);
    const __m256 zero = _mm256_setzero_ps();
    const __m256 pA = h0;                                                            // h0..h7
    const __m256 pBlo = _mm256_insertf128_ps (zero, h8, 0);                          // h8..h11, 0
    const __m256 pBhi = _mm256_insertf128_ps (zero, _mm256_castps256_ps128 (h0), 1); // 0, h0..h3
    const __m256 pC = _mm256_insertf128_ps (_mm256_castps128_ps256 (_mm256_extractf128_ps (h0, 1)), h8, 1); // h4..h11

    __m256 columns[36];
    for (int pair = 0; pair < 18; ++pair)
    {
        const float* w = a.wHh + 24 * pair;
        const __m256 v0 = _mm256_loadu_ps (w), v1 = _mm256_loadu_ps (w + 8), v2 = _mm256_loadu_ps (w + 16);
        columns[2 * pair] = _mm256_fmadd_ps (v1, pBlo, _mm256_mul_ps (v0, pA));
        columns[2 * pair + 1] = _mm256_fmadd_ps (v1, pBhi, _mm256_mul_ps (v2, pC));
    }

    const __m256 hidden0 = sums8 (columns), hidden8 = sums8 (columns + 8);
    const __m256 hidden16 = sums8 (columns + 16), hidden24 = sums8 (columns + 24);
    const __m128 hidden32 = sums4 (columns + 32);
    _mm256_storeu_ps (a.hiddenGates, hidden0);
    _mm256_storeu_ps (a.hiddenGates + 8, hidden8);
    _mm256_storeu_ps (a.hiddenGates + 16, hidden16);
    _mm256_storeu_ps (a.hiddenGates + 24, hidden24);
    _mm_storeu_ps (a.hiddenGates + 32, hidden32);

    // The gates stay in registers from here to the new state; the members are written on the
    // side. Units 0..7 and 8..11 of each gate line up with the two halves of the state.
    const __m256 ig0 = _mm256_loadu_ps (a.inputGates), ig8 = _mm256_loadu_ps (a.inputGates + 8);
    const __m256 ig16 = _mm256_loadu_ps (a.inputGates + 16), ig24 = _mm256_loadu_ps (a.inputGates + 24);
    const __m128 ig32 = _mm_loadu_ps (a.inputGates + 32);

    const __m256 s0 = sigmoid8 (_mm256_add_ps (ig0, hidden0));     // reset 0..7
    const __m256 s1 = sigmoid8 (_mm256_add_ps (ig8, hidden8));     // reset 8..11, update 0..3
    const __m256 s2 = sigmoid8 (_mm256_add_ps (ig16, hidden16));   // update 4..11

    // New-state gate: the reset gate scales only the recurrent part.
    const __m256 n0 = tanh8 (_mm256_fmadd_ps (s0, hidden24, ig24));
    const __m128 nTail = _mm_fmadd_ps (_mm256_castps256_ps128 (s1), hidden32, ig32);
    const __m128 n8 = _mm256_castps256_ps128 (tanh8 (_mm256_insertf128_ps (zero, nTail, 0)));

    // h = z h + (1 - z) n, as n + z (h - n).
    const __m256 z0 = _mm256_permute2f128_ps (s1, s2, 0x21);
    const __m128 z8 = _mm256_extractf128_ps (s2, 1);
    const __m256 newH0 = _mm256_fmadd_ps (z0, _mm256_sub_ps (h0, n0), n0);
    const __m128 newH8 = _mm_fmadd_ps (z8, _mm_sub_ps (h8, n8), n8);
    _mm256_storeu_ps (a.hidden, newH0);
    _mm_storeu_ps (a.hidden + 8, newH8);

    _mm256_storeu_ps (a.resetGate, s0);
    _mm_storeu_ps (a.resetGate + 8, _mm256_castps256_ps128 (s1));
    _mm256_storeu_ps (a.updateGate, z0);
    _mm_storeu_ps (a.updateGate + 8, z8);
    _mm256_storeu_ps (a.newGate, n0);
    _mm_storeu_ps (a.newGate + 8, n8);

    // Output layer: two dot products of 12.
    const __m256 out[4] = {
        _mm256_mul_ps (newH0, _mm256_loadu_ps (a.outWeight)),
        _mm256_insertf128_ps (zero, _mm_mul_ps (newH8, _mm_loadu_ps (a.outWeight + 8)), 0),
        _mm256_mul_ps (newH0, _mm256_loadu_ps (a.outWeight + 12)),
        _mm256_insertf128_ps (zero, _mm_mul_ps (newH8, _mm_loadu_ps (a.outWeight + 20)), 0),
    };
    const __m128 sums = sums4 (out);
    a.output[0] = _mm_cvtss_f32 (sums) + _mm_cvtss_f32 (_mm_shuffle_ps (sums, sums, 1));
    a.output[1] = _mm_cvtss_f32 (_mm_shuffle_ps (sums, sums, 2)) + _mm_cvtss_f32 (_mm_shuffle_ps (sums, sums, 3));
}

std::atomic<bool> nativeAllowed { true };
} // namespace

GruStepKernel nativeGruStepKernel() noexcept
{
    static const bool supported = __builtin_cpu_supports ("avx2") && __builtin_cpu_supports ("fma");
    return supported && nativeAllowed.load (std::memory_order_relaxed) ? &gruStepAvx2 : nullptr;
}

void setNativeGruStepAllowed (bool allowed) noexcept
{
    nativeAllowed.store (allowed, std::memory_order_relaxed);
}

} // namespace Tovani
