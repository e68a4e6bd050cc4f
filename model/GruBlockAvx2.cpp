#include "GruBlockAvx2.h"
#include "RationalTanhAvx2.h"

#include <cstddef>

// Why hand-written AVX2 and not Highway's dynamic dispatch: the cell is 12 units, which the
// kernel lays out as one 8-lane and one 4-lane half so that every gate lines up with the state
// without padding or cross-lane reductions; its cost is the latency of one dependent chain per
// step, not throughput. Highway's width-agnostic vectors would pad each gate to the target's
// width (16 lanes on AVX-512, which this build machine lacks and could not measure) and add
// nothing a shorter chain needs. The run-time choice is one CPUID test (AVX2 + FMA), made once;
// every other x86-64 CPU runs the portable Eigen path of the same binary.
//
// This file is built with -ffp-contract=off: the gliding weights must be the product-then-sum
// the ramp builder defines, which a contracted multiply-add would round differently.

namespace Tovani
{
namespace
{
/** Weights for one block, laid out per source (12 hidden units, then the 2 inputs) as
    five lanes groups: r 0..7, z 0..7, n 0..7, [r 8..11 | z 8..11], n 8..11 (+ pad).

    The reset and update columns are halved, so that tanh of the accumulated sum is the
    sigmoid's tanh(v / 2); the recurrent new-state columns are halved too, so that the reset
    gate's product r * hn = (1/2 + t/2) hn is one multiply-add, t * hn' + hn'. Halving is exact. */
struct alignas (32) PackedWeights
{
    static constexpr int stride = 40;
    static constexpr int rows = 14;   // 12 hidden, then 2 inputs
    float w[rows * stride];
};

constexpr int hiddenUnits = 12;
constexpr int gateWidth = 36;

/** Packs Eigen's column-major wIh (2 × 36) and wHh (12 × 36). */
void pack (PackedWeights& p, const float* wIh, const float* wHh) noexcept
{
    const auto place = [&p] (int row, const float* m, int rowsOfM, int srcRow, bool hidden)
    {
        float* dst = p.w + row * PackedWeights::stride;
        const auto at = [&] (int col) { return m[col * rowsOfM + srcRow]; };
        const float nScale = hidden ? 0.5f : 1.0f;   // the input's new-state part stays apart

        for (int u = 0; u < 8; ++u)
        {
            dst[u] = 0.5f * at (u);
            dst[8 + u] = 0.5f * at (12 + u);
            dst[16 + u] = nScale * at (24 + u);
        }
        for (int u = 0; u < 4; ++u)
        {
            dst[24 + u] = 0.5f * at (8 + u);
            dst[28 + u] = 0.5f * at (20 + u);
            dst[32 + u] = nScale * at (32 + u);
            dst[36 + u] = 0.0f;
        }
    };

    for (int j = 0; j < hiddenUnits; ++j)
        place (j, wHh, hiddenUnits, j, true);
    for (int c = 0; c < 2; ++c)
        place (hiddenUnits + c, wIh, 2, c, false);
}

/** Supplies the packed weights for step t: fixed, or `from + step * t` as the ramp builder
    computes it (a product, then a sum; both exact halvings of the unpacked values). */
struct SteadyWeights
{
    const float* w;

    LUMBRANE_AVX2 __m256 v (int offset) const noexcept { return _mm256_load_ps (w + offset); }
    LUMBRANE_AVX2 __m128 q (int offset) const noexcept { return _mm_load_ps (w + offset); }
};

struct GlidingWeights
{
    const float* from;
    const float* step;
    __m256 t;

    LUMBRANE_AVX2 __m256 v (int offset) const noexcept
    {
        return _mm256_add_ps (_mm256_mul_ps (_mm256_load_ps (step + offset), t), _mm256_load_ps (from + offset));
    }
    LUMBRANE_AVX2 __m128 q (int offset) const noexcept
    {
        return _mm_add_ps (_mm_mul_ps (_mm_load_ps (step + offset), _mm256_castps256_ps128 (t)),
                           _mm_load_ps (from + offset));
    }
};

/** The state, the output layer and the step's arithmetic. */
struct Cell
{
    __m256 h0;     // units 0..7
    __m128 h8;     // units 8..11
    __m256 outA0, outA1;   // output weights of units 0..7 for channels 0, 1
    __m128 outB0, outB1;   // and of units 8..11

    template <typename Weights>
    LUMBRANE_AVX2 inline void step (const Weights& w, float x0, float x1, float& y0, float& y1) noexcept
    {
        constexpr int s = PackedWeights::stride;
        constexpr int in0 = hiddenUnits * s, in1 = in0 + s;

        // The inputs' share starts the accumulators; it does not wait for the state.
        const __m256 bx0 = _mm256_set1_ps (x0), bx1 = _mm256_set1_ps (x1);
        const __m128 qx0 = _mm256_castps256_ps128 (bx0), qx1 = _mm256_castps256_ps128 (bx1);
        __m256 accR = _mm256_fmadd_ps (bx1, w.v (in1), _mm256_mul_ps (bx0, w.v (in0)));
        __m256 accZ = _mm256_fmadd_ps (bx1, w.v (in1 + 8), _mm256_mul_ps (bx0, w.v (in0 + 8)));
        __m256 accRZ = _mm256_fmadd_ps (bx1, w.v (in1 + 24), _mm256_mul_ps (bx0, w.v (in0 + 24)));
        const __m256 inN0 = _mm256_fmadd_ps (bx1, w.v (in1 + 16), _mm256_mul_ps (bx0, w.v (in0 + 16)));
        const __m128 inN8 = _mm_fmadd_ps (qx1, w.q (in1 + 32), _mm_mul_ps (qx0, w.q (in0 + 32)));

        // Each unit's value in all lanes: one cross-lane move per four units, then in-lane shuffles.
        const __m256 lo = _mm256_permute2f128_ps (h0, h0, 0x00);
        const __m256 hi = _mm256_permute2f128_ps (h0, h0, 0x11);
        const __m256 tail = _mm256_insertf128_ps (_mm256_castps128_ps256 (h8), h8, 1);

        // Three chains of four units each keep the dependent multiply-adds short.
        __m256 r[3], z[3], rz[3], n[3];
        __m128 n8[3];
        const __m256 quads[3] = { lo, hi, tail };
        for (int g = 0; g < 3; ++g)
        {
            const __m256 src = quads[g];
            __m256 b[4] = { _mm256_shuffle_ps (src, src, 0x00), _mm256_shuffle_ps (src, src, 0x55),
                            _mm256_shuffle_ps (src, src, 0xaa), _mm256_shuffle_ps (src, src, 0xff) };
            const int row = 4 * g * s;
            r[g] = _mm256_mul_ps (b[0], w.v (row));
            z[g] = _mm256_mul_ps (b[0], w.v (row + 8));
            n[g] = _mm256_mul_ps (b[0], w.v (row + 16));
            rz[g] = _mm256_mul_ps (b[0], w.v (row + 24));
            n8[g] = _mm_mul_ps (_mm256_castps256_ps128 (b[0]), w.q (row + 32));
            for (int k = 1; k < 4; ++k)
            {
                const int o = row + k * s;
                r[g] = _mm256_fmadd_ps (b[k], w.v (o), r[g]);
                z[g] = _mm256_fmadd_ps (b[k], w.v (o + 8), z[g]);
                n[g] = _mm256_fmadd_ps (b[k], w.v (o + 16), n[g]);
                rz[g] = _mm256_fmadd_ps (b[k], w.v (o + 24), rz[g]);
                n8[g] = _mm_fmadd_ps (_mm256_castps256_ps128 (b[k]), w.q (o + 32), n8[g]);
            }
        }
        accR = _mm256_add_ps (_mm256_add_ps (accR, r[0]), _mm256_add_ps (r[1], r[2]));
        accZ = _mm256_add_ps (_mm256_add_ps (accZ, z[0]), _mm256_add_ps (z[1], z[2]));
        accRZ = _mm256_add_ps (_mm256_add_ps (accRZ, rz[0]), _mm256_add_ps (rz[1], rz[2]));
        const __m256 hn0 = _mm256_add_ps (n[0], _mm256_add_ps (n[1], n[2]));
        const __m128 hn8 = _mm_add_ps (n8[0], _mm_add_ps (n8[1], n8[2]));

        const __m256 tR = tanh8 (accR), tZ = tanh8 (accZ), tRZ = tanh8 (accRZ);

        // n = tanh(in + r hn), r hn = t hn' + hn' (hn' holds the halved recurrent part).
        const __m256 nn0 = tanh8 (_mm256_fmadd_ps (tR, hn0, _mm256_add_ps (hn0, inN0)));
        const __m128 nn8 = tanh4 (_mm_fmadd_ps (_mm256_castps256_ps128 (tRZ), hn8, _mm_add_ps (hn8, inN8)));

        // h = z h + (1 - z) n, as n + z (h - n), with z = 1/2 + t/2.
        const __m256 half = _mm256_set1_ps (0.5f);
        const __m256 z0 = _mm256_fmadd_ps (tZ, half, half);
        const __m128 z8 = _mm256_extractf128_ps (_mm256_fmadd_ps (tRZ, half, half), 1);
        h0 = _mm256_fmadd_ps (z0, _mm256_sub_ps (h0, nn0), nn0);
        h8 = _mm_fmadd_ps (z8, _mm_sub_ps (h8, nn8), nn8);

        // The output layer: off the state's chain, so it overlaps the next step.
        const __m256 p0 = _mm256_mul_ps (h0, outA0), p1 = _mm256_mul_ps (h0, outA1);
        const __m128 s0 = _mm_add_ps (_mm_add_ps (_mm256_castps256_ps128 (p0), _mm256_extractf128_ps (p0, 1)),
                                      _mm_mul_ps (h8, outB0));
        const __m128 s1 = _mm_add_ps (_mm_add_ps (_mm256_castps256_ps128 (p1), _mm256_extractf128_ps (p1, 1)),
                                      _mm_mul_ps (h8, outB1));
        const __m128 sums = _mm_hadd_ps (_mm_hadd_ps (s0, s1), _mm_setzero_ps());
        y0 = _mm_cvtss_f32 (sums);
        y1 = _mm_cvtss_f32 (_mm_shuffle_ps (sums, sums, 1));
    }
};

/** Steps begin .. end - 1 with fixed weights w, or with w + stepW * t when gliding. */
template <bool Gliding>
LUMBRANE_AVX2 void run (Cell& cell, const GruBlock12x2& a, int begin, int end, const float* w, const float* stepW) noexcept
{
    float y0 = 0.0f, y1 = 0.0f;

    for (int t = begin; t < end; ++t)
    {
        const float x0 = a.left[t];
        const float x1 = a.right != nullptr ? a.right[t] : 0.0f;

        if constexpr (Gliding)
            cell.step (GlidingWeights { w, stepW, _mm256_set1_ps (static_cast<float> (t)) }, x0, x1, y0, y1);
        else
            cell.step (SteadyWeights { w }, x0, x1, y0, y1);

        a.outLeft[t] = y0;
        if (a.outRight != nullptr)
            a.outRight[t] = y1;
    }

    if (end > begin)
    {
        a.output[0] = y0;
        a.output[1] = y1;
    }
}

LUMBRANE_AVX2 void gruBlockAvx2 (const GruBlock12x2& a) noexcept
{
    if (a.numSteps <= 0)
        return;

    Cell cell;
    cell.h0 = _mm256_loadu_ps (a.hidden);
    cell.h8 = _mm_loadu_ps (a.hidden + 8);
    cell.outA0 = _mm256_loadu_ps (a.outWeight);
    cell.outB0 = _mm_loadu_ps (a.outWeight + 8);
    cell.outA1 = _mm256_loadu_ps (a.outWeight + 12);
    cell.outB1 = _mm_loadu_ps (a.outWeight + 20);

    PackedWeights from;
    pack (from, a.wIh, a.wHh);

    if (a.toIh == nullptr || a.numSteps == 1)   // a glide of one step is `from` alone
    {
        run<false> (cell, a, 0, a.numSteps, from.w, nullptr);
    }
    else
    {
        // Steps 0 .. n-2 glide; the last runs on `to` itself, as the ramp's last entry is `to`.
        PackedWeights to, step;
        pack (to, a.toIh, a.toHh);

        if (a.numSteps >= 3)
        {
            const __m256 divisor = _mm256_set1_ps (static_cast<float> (a.numSteps - 1));
            for (int i = 0; i < PackedWeights::rows * PackedWeights::stride; i += 8)
                _mm256_store_ps (step.w + i, _mm256_div_ps (_mm256_sub_ps (_mm256_load_ps (to.w + i),
                                                                           _mm256_load_ps (from.w + i)),
                                                            divisor));
        }
        else
        {
            for (float& v : step.w)
                v = 0.0f;
        }

        run<true> (cell, a, 0, a.numSteps - 1, from.w, step.w);
        run<false> (cell, a, a.numSteps - 1, a.numSteps, to.w, nullptr);
    }

    _mm256_storeu_ps (a.hidden, cell.h0);
    _mm_storeu_ps (a.hidden + 8, cell.h8);
}
} // namespace

GruBlockKernel nativeGruBlockKernel() noexcept
{
    return nativeGruStepKernel() != nullptr ? &gruBlockAvx2 : nullptr;
}

} // namespace Tovani
