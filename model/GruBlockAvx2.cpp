#include "GruBlockAvx2.h"
#include "RationalTanhAvx2.h"

#include <cstddef>

// Why hand-written AVX2 and not Highway's dynamic dispatch: measured side by side on this
// project's build machine (AMD EPYC, Zen 3, no AVX-512), 64 blocks of 1024 steps, best of six
// interleaved runs: this kernel 35.0 ns per step steady and 51.0 gliding; the same layout and
// arithmetic written with Highway (FixedTag<float, 8> on its AVX2 and AVX-512 targets, dispatched
// by HWY_DYNAMIC_DISPATCH) 36.0 and 48.7. That is a tie within 10 %, and the simpler choice is
// to keep this one: the single step (GruStepAvx2.cpp) must agree with it and shares its tanh and
// its one run-time test (AVX2 + FMA, made once), which the tests switch off to check the portable
// Eigen path of the same binary; a Highway block kernel would split that into two dispatchers.
// Highway's width-agnostic vectors would not help the layout either: 12 units lie as one 8-lane
// and one 4-lane half so that every gate lines up with the state without cross-lane reductions.
//
// The step is one dependent chain (state -> gate sums -> reset gate's tanh -> new gate's tanh ->
// state) with about 150 multiply-adds around it; both bound it, so the chain is kept short:
// the gate sums run as four chains of three, each tanh divides as soon as its short denominator
// is ready and leaves its numerator to be folded into the multiply-add that follows, and the
// mix is z h + (1 - z) n with z h ready early. lumbrane_network_bench, same machine and load:
// 46.7 ns per step before, 35.1 after (gliding 60.1 before, 51.5 after).
//
// This file is built with -ffp-contract=off, so that its rounding is the one the intrinsics spell
// out and does not change with the compiler's choice of where to fuse a multiply and an add.
//
// Gliding: step t's weights are from + step * t, and the gate products are linear in them, so
// x W_t + h W_t = (x from + h from) + t (x step + h step): a second set of multiply-adds on the
// packed step beside the first, scaled by t once per gate. That agrees with products on the
// ramp builder's entries to float rounding. The alternatives measured, in ns per step against
// 43 steady (same run, 1024-step blocks, before the chain was shortened): the weights built
// inline before their use 60 (the exact product-then-sum) or 60 (one multiply-add); built one
// step ahead into a buffer 64, even as a bare running sum 62; this form 59 (51 now). Measured
// again against this form at 35 steady, best of five interleaved runs: the exact weights built
// inline 54 against 51 (they add a product and a sum per weight vector where this form adds
// one multiply-add, and there is a single state to share them with, not one per channel); the
// step's terms continuing the fixed terms' chains on t h 52.8 against 50.6; the step's part of
// the half-empty new-state group packed into its idle lanes, a tie. The one state carries both
// channels, so each step's weights serve one product either way. Taking the gate sums in the
// order the chain needs them, and tuning for the machine, brought it to 49.

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

#define LUMBRANE_INLINE __attribute__ ((always_inline)) inline

constexpr int stride = PackedWeights::stride;
constexpr int inputRow0 = hiddenUnits * stride, inputRow1 = inputRow0 + stride;

// Lane-group offsets within a packed row.
constexpr int slotR = 0, slotZ = 8, slotN = 16, slotRZ = 24, slotN8 = 32;

/** The state's units 0..3, 4..7 and 8..11, each four copied to both halves of a vector, so
    that any unit reaches all lanes with one in-lane shuffle. */
struct Quads
{
    __m256 lo, hi, tail;
};

template <int J>
LUMBRANE_AVX2 LUMBRANE_INLINE __m256 unit (const Quads& q) noexcept
{
    const __m256 src = J < 4 ? q.lo : (J < 8 ? q.hi : q.tail);
    return _mm256_shuffle_ps (src, src, (J % 4) * 0x55);
}

template <int J, int Slot>
LUMBRANE_AVX2 LUMBRANE_INLINE __m256 term (const float* w, const Quads& q, __m256 acc) noexcept
{
    return _mm256_fmadd_ps (unit<J> (q), _mm256_load_ps (w + J * stride + Slot), acc);
}

template <int J, int Slot>
LUMBRANE_AVX2 LUMBRANE_INLINE __m256 firstTerm (const float* w, const Quads& q) noexcept
{
    return _mm256_mul_ps (unit<J> (q), _mm256_load_ps (w + J * stride + Slot));
}

/** Whether units 8..11 (the groups slotRZ and slotN8) belong to the second channel alone, as in
    the shipped weight sets: the first channel's units 0..5 and input then reach none of them,
    and their products there are exact zeros. Skipping them leaves every sum bit for bit as it
    was (adding an exact zero changes nothing) and spares 14 of a step's 70 weight products, 28
    of 140 when gliding: lumbrane_network_bench, three interleaved runs, 34.9 -> 33.7 ns per step
    steady and 49.5 -> 43.1 gliding. Weights that mix the channels take the full sums. */
template <int Slot, bool Split>
constexpr bool secondChannelOnly = Split && (Slot == slotRZ || Slot == slotN8);

/** start + h w for one lane group, as four chains of three summed in a tree: the depth is what
    the step waits for. Each chain takes its units from the quads in the order they are ready
    (lo and tail one operation after the state, hi three). */
template <int Slot, bool Split>
LUMBRANE_AVX2 LUMBRANE_INLINE __m256 recurrent (const float* w, const Quads& q, __m256 start) noexcept
{
    if constexpr (secondChannelOnly<Slot, Split>)
    {
        // The chains below with units 0..5 left out.
        const __m256 a = term<8, Slot> (w, q, start);
        const __m256 b = firstTerm<9, Slot> (w, q);
        const __m256 c = term<6, Slot> (w, q, firstTerm<10, Slot> (w, q));
        const __m256 d = term<7, Slot> (w, q, firstTerm<11, Slot> (w, q));
        return _mm256_add_ps (_mm256_add_ps (a, b), _mm256_add_ps (c, d));
    }
    else
    {
        const __m256 a = term<4, Slot> (w, q, term<8, Slot> (w, q, term<0, Slot> (w, q, start)));
        const __m256 b = term<5, Slot> (w, q, term<9, Slot> (w, q, firstTerm<1, Slot> (w, q)));
        const __m256 c = term<6, Slot> (w, q, term<10, Slot> (w, q, firstTerm<2, Slot> (w, q)));
        const __m256 d = term<7, Slot> (w, q, term<11, Slot> (w, q, firstTerm<3, Slot> (w, q)));
        return _mm256_add_ps (_mm256_add_ps (a, b), _mm256_add_ps (c, d));
    }
}

template <int Slot, bool Split>
LUMBRANE_AVX2 LUMBRANE_INLINE __m256 recurrent (const float* w, const Quads& q) noexcept
{
    return recurrent<Slot, Split> (w, q, _mm256_setzero_ps());
}

/** The inputs' part of one lane group; it does not wait for the state. */
template <int Slot, bool Split>
LUMBRANE_AVX2 LUMBRANE_INLINE __m256 input (const float* w, __m256 x0, __m256 x1) noexcept
{
    if constexpr (secondChannelOnly<Slot, Split>)
        return _mm256_mul_ps (x1, _mm256_load_ps (w + inputRow1 + Slot));
    else
        return _mm256_fmadd_ps (x1, _mm256_load_ps (w + inputRow1 + Slot), _mm256_mul_ps (x0, _mm256_load_ps (w + inputRow0 + Slot)));
}

/** True when the first channel's rows (units 0..5 and input 0) are zero in the groups of units
    8..11. */
bool splitByChannel (const PackedWeights& p) noexcept
{
    for (int row = 0; row < PackedWeights::rows; ++row)
        if (row < 6 || row == hiddenUnits)
            for (int lane = slotRZ; lane < PackedWeights::stride; ++lane)
                if (p.w[row * PackedWeights::stride + lane] != 0.0f)
                    return false;
    return true;
}

/** The state, the output layer and the step's arithmetic. */
struct Cell
{
    __m256 h0;     // units 0..7
    __m256 h8;     // units 8..11 in the low half (the high half is not used)
    __m256 outA0, outA1;   // output weights of units 0..7 for channels 0, 1
    __m128 outB0, outB1;   // and of units 8..11

    /** One step on the weights w, or when gliding on w + stepW * t: the step's share of every
        gate is accumulated on its own and scaled by t once. */
    template <bool Gliding, bool Split>
    LUMBRANE_AVX2 LUMBRANE_INLINE void step (const float* w, const float* stepW, float t, float x0, float x1,
                                             float& y0, float& y1) noexcept
    {
        const __m256 bx0 = _mm256_set1_ps (x0), bx1 = _mm256_set1_ps (x1);
        const __m128 lo = _mm256_castps256_ps128 (h0), tail = _mm256_castps256_ps128 (h8);
        const Quads q { _mm256_insertf128_ps (h0, lo, 1), _mm256_permute2f128_ps (h0, h0, 0x11),
                        _mm256_insertf128_ps (h8, tail, 1) };

        // The gate sums in the order the chain needs them: the reset gate's (its tanh comes
        // first), the new state's recurrent and input parts, the update gate's last. The new-state
        // group of units 8..11 sits in the low half of slotN8's eight lanes.
        [[maybe_unused]] const __m256 tv = _mm256_set1_ps (t);
        __m256 accR = recurrent<slotR, Split> (w, q, input<slotR, Split> (w, bx0, bx1));
        __m256 accRZ = recurrent<slotRZ, Split> (w, q, input<slotRZ, Split> (w, bx0, bx1));
        if constexpr (Gliding)
        {
            accR = _mm256_fmadd_ps (tv, recurrent<slotR, Split> (stepW, q, input<slotR, Split> (stepW, bx0, bx1)), accR);
            accRZ = _mm256_fmadd_ps (tv, recurrent<slotRZ, Split> (stepW, q, input<slotRZ, Split> (stepW, bx0, bx1)), accRZ);
        }
        const auto r0 = tanhParts8 (accR), rz = tanhParts8 (accRZ);

        __m256 hn0 = recurrent<slotN, Split> (w, q), inN0 = input<slotN, Split> (w, bx0, bx1);
        __m256 hn8 = recurrent<slotN8, Split> (w, q), inN8 = input<slotN8, Split> (w, bx0, bx1);
        if constexpr (Gliding)
        {
            hn0 = _mm256_fmadd_ps (tv, recurrent<slotN, Split> (stepW, q), hn0);
            inN0 = _mm256_fmadd_ps (tv, input<slotN, Split> (stepW, bx0, bx1), inN0);
            hn8 = _mm256_fmadd_ps (tv, recurrent<slotN8, Split> (stepW, q), hn8);
            inN8 = _mm256_fmadd_ps (tv, input<slotN8, Split> (stepW, bx0, bx1), inN8);
        }

        // n = tanh(in + r hn), r hn = t hn' + hn' (hn' holds the halved recurrent part), where
        // t = ratio * poly: poly * hn' is ready before the ratio, which then needs one multiply-add.
        const __m256 n0 = _mm256_fmadd_ps (r0.ratio, _mm256_mul_ps (r0.poly, hn0), _mm256_add_ps (hn0, inN0));
        const __m256 n8 = _mm256_fmadd_ps (rz.ratio, _mm256_mul_ps (rz.poly, hn8), _mm256_add_ps (hn8, inN8));
        const auto nn0 = tanhParts8 (n0), nn8 = tanhParts8 (n8);

        __m256 accZ = recurrent<slotZ, Split> (w, q, input<slotZ, Split> (w, bx0, bx1));
        if constexpr (Gliding)
            accZ = _mm256_fmadd_ps (tv, recurrent<slotZ, Split> (stepW, q, input<slotZ, Split> (stepW, bx0, bx1)), accZ);
        const auto z0 = tanhParts8 (accZ);

        // h = z h + (1 - z) n, z = 1/2 + t/2, with n = ratio * poly: z h and (1 - z) poly are
        // ready before n's ratio, which again ends the step with one multiply-add.
        const __m256 half = _mm256_set1_ps (0.5f);
        const __m256 tZ0 = _mm256_mul_ps (z0.ratio, z0.poly), tRZ = _mm256_mul_ps (rz.ratio, rz.poly);
        const __m256 tZ8 = _mm256_permute2f128_ps (tRZ, tRZ, 0x11);
        const __m256 zh0 = _mm256_mul_ps (_mm256_fmadd_ps (tZ0, half, half), h0);
        const __m256 zh8 = _mm256_mul_ps (_mm256_fmadd_ps (tZ8, half, half), h8);
        const __m256 keep0 = _mm256_mul_ps (_mm256_fnmadd_ps (tZ0, half, half), nn0.poly);
        const __m256 keep8 = _mm256_mul_ps (_mm256_fnmadd_ps (tZ8, half, half), nn8.poly);
        h0 = _mm256_fmadd_ps (nn0.ratio, keep0, zh0);
        h8 = _mm256_fmadd_ps (nn8.ratio, keep8, zh8);

        // The output layer: off the state's chain, so it overlaps the next step.
        const __m128 h8q = _mm256_castps256_ps128 (h8);
        const __m256 p0 = _mm256_mul_ps (h0, outA0), p1 = _mm256_mul_ps (h0, outA1);
        const __m128 s0 = _mm_add_ps (_mm_add_ps (_mm256_castps256_ps128 (p0), _mm256_extractf128_ps (p0, 1)),
                                      _mm_mul_ps (h8q, outB0));
        const __m128 s1 = _mm_add_ps (_mm_add_ps (_mm256_castps256_ps128 (p1), _mm256_extractf128_ps (p1, 1)),
                                      _mm_mul_ps (h8q, outB1));
        const __m128 sums = _mm_hadd_ps (_mm_hadd_ps (s0, s1), _mm_setzero_ps());
        y0 = _mm_cvtss_f32 (sums);
        y1 = _mm_cvtss_f32 (_mm_shuffle_ps (sums, sums, 1));
    }
};

/** Steps begin .. end - 1 with fixed weights w, or with w + stepW * t when gliding. */
template <bool Gliding, bool Split>
LUMBRANE_AVX2 LUMBRANE_INLINE void run (Cell& cell, const GruBlock12x2& a, int begin, int end, const float* w,
                                        const float* stepW) noexcept
{
    float y0 = 0.0f, y1 = 0.0f;

    for (int t = begin; t < end; ++t)
    {
        const float x0 = a.left[t];
        const float x1 = a.right != nullptr ? a.right[t] : 0.0f;
        cell.step<Gliding, Split> (w, stepW, static_cast<float> (t), x0, x1, y0, y1);
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
    cell.h8 = _mm256_zextps128_ps256 (_mm_loadu_ps (a.hidden + 8));
    cell.outA0 = _mm256_loadu_ps (a.outWeight);
    cell.outB0 = _mm_loadu_ps (a.outWeight + 8);
    cell.outA1 = _mm256_loadu_ps (a.outWeight + 12);
    cell.outB1 = _mm_loadu_ps (a.outWeight + 20);

    PackedWeights from;
    pack (from, a.wIh, a.wHh);

    if (a.toIh == nullptr || a.numSteps == 1)   // a glide of one step is `from` alone
    {
        if (splitByChannel (from))
            run<false, true> (cell, a, 0, a.numSteps, from.w, nullptr);
        else
            run<false, false> (cell, a, 0, a.numSteps, from.w, nullptr);
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

        if (splitByChannel (from) && splitByChannel (to))
        {
            run<true, true> (cell, a, 0, a.numSteps - 1, from.w, step.w);
            run<false, true> (cell, a, a.numSteps - 1, a.numSteps, to.w, nullptr);
        }
        else
        {
            run<true, false> (cell, a, 0, a.numSteps - 1, from.w, step.w);
            run<false, false> (cell, a, a.numSteps - 1, a.numSteps, to.w, nullptr);
        }
    }

    _mm256_storeu_ps (a.hidden, cell.h0);
    _mm_storeu_ps (a.hidden + 8, _mm256_castps256_ps128 (cell.h8));
}
} // namespace

GruBlockKernel nativeGruBlockKernel() noexcept
{
    return nativeGruStepKernel() != nullptr ? &gruBlockAvx2 : nullptr;
}

} // namespace Tovani
