#pragma once

#include <immintrin.h>

// Only the functions marked with the target attribute use AVX2 and FMA; everything they call is
// an always-inline intrinsic, so no code built for AVX2 can leak into the portable paths.
#define LUMBRANE_AVX2 __attribute__ ((target ("avx2,fma")))

namespace Tovani
{

/** tanh as an odd rational function of degree 13 over 6 on [-7.9988, 7.9988], clamped outside:
    the coefficients of Eigen's own float tanh, so the vector kernels agree with the portable
    path to a few units in the last place. Odd and relative-accurate near zero, so a small state
    decays to zero instead of resting on a rounding step. Both polynomials run in Estrin's order:
    the cell is a chain of dependent steps, and depth, not operation count, sets its speed. */
template <typename V, typename Ops>
LUMBRANE_AVX2 inline V rationalTanh (V v) noexcept
{
    const V clamp = Ops::set1 (7.99881172180175781f);
    const V x = Ops::max (Ops::min (v, clamp), Ops::set1 (-7.99881172180175781f));
    const V y = Ops::mul (x, x);
    const V y2 = Ops::mul (y, y);
    const V y4 = Ops::mul (y2, y2);

    const V p01 = Ops::fma (Ops::set1 (6.37261928875436e-04f), y, Ops::set1 (4.89352455891786e-03f));
    const V p23 = Ops::fma (Ops::set1 (5.12229709037114e-08f), y, Ops::set1 (1.48572235717979e-05f));
    const V p45 = Ops::fma (Ops::set1 (2.00018790482477e-13f), y, Ops::set1 (-8.60467152213735e-11f));
    const V p456 = Ops::fma (Ops::set1 (-2.76076847742355e-16f), y2, p45);
    const V p = Ops::fma (p456, y4, Ops::fma (p23, y2, p01));

    const V q01 = Ops::fma (Ops::set1 (2.26843463243900e-03f), y, Ops::set1 (4.89352518554385e-03f));
    const V q23 = Ops::fma (Ops::set1 (1.19825839466702e-06f), y, Ops::set1 (1.18534705686654e-04f));
    const V q = Ops::fma (q23, y2, q01);

    return Ops::div (Ops::mul (x, p), q);
}

/** The same rational tanh split in two factors, tanh(v) = ratio * poly with ratio = x / q(x²)
    and poly = p(x²): the division waits only for the short denominator, and a caller that
    multiplies tanh by something else folds poly into that product, off the dependent chain, and
    finishes with one multiply-add. x² is taken from v and clamped, which equals the square of
    the clamped v (rounding is monotonic) one operation sooner. */
template <typename V, typename Ops>
LUMBRANE_AVX2 inline void rationalTanhParts (V v, V& ratio, V& poly) noexcept
{
    constexpr float limit = 7.99881172180175781f;
    const V x = Ops::max (Ops::min (v, Ops::set1 (limit)), Ops::set1 (-limit));
    const V y = Ops::min (Ops::mul (v, v), Ops::set1 (limit * limit));
    const V y2 = Ops::mul (y, y);

    // The numerator has until the division ends, so it runs in y² without a fourth power.
    const V p01 = Ops::fma (Ops::set1 (6.37261928875436e-04f), y, Ops::set1 (4.89352455891786e-03f));
    const V p23 = Ops::fma (Ops::set1 (5.12229709037114e-08f), y, Ops::set1 (1.48572235717979e-05f));
    const V p45 = Ops::fma (Ops::set1 (2.00018790482477e-13f), y, Ops::set1 (-8.60467152213735e-11f));
    const V p456 = Ops::fma (Ops::set1 (-2.76076847742355e-16f), y2, p45);
    const V p = Ops::fma (Ops::fma (p456, y2, p23), y2, p01);

    const V q01 = Ops::fma (Ops::set1 (2.26843463243900e-03f), y, Ops::set1 (4.89352518554385e-03f));
    const V q23 = Ops::fma (Ops::set1 (1.19825839466702e-06f), y, Ops::set1 (1.18534705686654e-04f));
    const V q = Ops::fma (q23, y2, q01);

    ratio = Ops::div (x, q);
    poly = p;
}

struct Avx8
{
    LUMBRANE_AVX2 static __m256 set1 (float f) noexcept { return _mm256_set1_ps (f); }
    LUMBRANE_AVX2 static __m256 min (__m256 a, __m256 b) noexcept { return _mm256_min_ps (a, b); }
    LUMBRANE_AVX2 static __m256 max (__m256 a, __m256 b) noexcept { return _mm256_max_ps (a, b); }
    LUMBRANE_AVX2 static __m256 mul (__m256 a, __m256 b) noexcept { return _mm256_mul_ps (a, b); }
    LUMBRANE_AVX2 static __m256 div (__m256 a, __m256 b) noexcept { return _mm256_div_ps (a, b); }
    LUMBRANE_AVX2 static __m256 fma (__m256 a, __m256 b, __m256 c) noexcept { return _mm256_fmadd_ps (a, b, c); }
};

struct Avx4
{
    LUMBRANE_AVX2 static __m128 set1 (float f) noexcept { return _mm_set1_ps (f); }
    LUMBRANE_AVX2 static __m128 min (__m128 a, __m128 b) noexcept { return _mm_min_ps (a, b); }
    LUMBRANE_AVX2 static __m128 max (__m128 a, __m128 b) noexcept { return _mm_max_ps (a, b); }
    LUMBRANE_AVX2 static __m128 mul (__m128 a, __m128 b) noexcept { return _mm_mul_ps (a, b); }
    LUMBRANE_AVX2 static __m128 div (__m128 a, __m128 b) noexcept { return _mm_div_ps (a, b); }
    LUMBRANE_AVX2 static __m128 fma (__m128 a, __m128 b, __m128 c) noexcept { return _mm_fmadd_ps (a, b, c); }
};

LUMBRANE_AVX2 inline __m256 tanh8 (__m256 v) noexcept { return rationalTanh<__m256, Avx8> (v); }
LUMBRANE_AVX2 inline __m128 tanh4 (__m128 v) noexcept { return rationalTanh<__m128, Avx4> (v); }
struct TanhParts8
{
    __m256 ratio, poly;
};

LUMBRANE_AVX2 inline TanhParts8 tanhParts8 (__m256 v) noexcept
{
    TanhParts8 parts;
    rationalTanhParts<__m256, Avx8> (v, parts.ratio, parts.poly);
    return parts;
}

} // namespace Tovani
