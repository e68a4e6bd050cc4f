#include "PolyphaseFilter.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace road
{
namespace
{
// Sums of both channels' windows against one phase's taps (a multiple of 8), two at a time.
__attribute__ ((target ("avx2,fma"))) int produceWide (const float* h0, const float* const* x, int taps,
                                                      const PolyphaseFilter::Step* steps, int& phase, int& start,
                                                      int count, float* const* out, int outRoom) noexcept
{
    int made = 0;
    for (; made < outRoom && start + taps <= count; ++made)
    {
        const float* h = h0 + (size_t) phase * (size_t) taps;
        const float* a = x[0] + start;
        const float* b = x[1] + start;
        __m256 sa = _mm256_setzero_ps(), sb = _mm256_setzero_ps();
        for (int k = 0; k < taps; k += 8)
        {
            const __m256 c = _mm256_loadu_ps (h + k);
            sa = _mm256_fmadd_ps (c, _mm256_loadu_ps (a + k), sa);
            sb = _mm256_fmadd_ps (c, _mm256_loadu_ps (b + k), sb);
        }
        // Both horizontal sums at once.
        const __m256 pair = _mm256_hadd_ps (sa, sb); // a01 a23 b01 b23 | a45 a67 b45 b67
        const __m128 half = _mm_add_ps (_mm256_castps256_ps128 (pair), _mm256_extractf128_ps (pair, 1));
        const __m128 sums = _mm_hadd_ps (half, half); // a b a b
        out[0][made] = _mm_cvtss_f32 (sums);
        out[1][made] = _mm_cvtss_f32 (_mm_shuffle_ps (sums, sums, 1));

        start += steps[phase].advance;
        phase = steps[phase].next;
    }
    return made;
}

int producePlain (const float* h0, const float* const* x, int taps, const PolyphaseFilter::Step* steps, int& phase,
                  int& start, int count, float* const* out, int outRoom) noexcept
{
    int made = 0;
    for (; made < outRoom && start + taps <= count; ++made)
    {
        const float* h = h0 + (size_t) phase * (size_t) taps;
        const float* a = x[0] + start;
        const float* b = x[1] + start;
        __m128 sa = _mm_setzero_ps(), sb = _mm_setzero_ps();
        for (int k = 0; k < taps; k += 4)
        {
            const __m128 c = _mm_loadu_ps (h + k);
            sa = _mm_add_ps (sa, _mm_mul_ps (c, _mm_loadu_ps (a + k)));
            sb = _mm_add_ps (sb, _mm_mul_ps (c, _mm_loadu_ps (b + k)));
        }
        const __m128 low = _mm_unpacklo_ps (sa, sb), high = _mm_unpackhi_ps (sa, sb);
        __m128 sums = _mm_add_ps (low, high);
        sums = _mm_add_ps (sums, _mm_movehl_ps (sums, sums));
        out[0][made] = _mm_cvtss_f32 (sums);
        out[1][made] = _mm_cvtss_f32 (_mm_shuffle_ps (sums, sums, 1));

        start += steps[phase].advance;
        phase = steps[phase].next;
    }
    return made;
}
} // namespace

void PolyphaseFilter::prepare (int up, int down, double inRate, double passHz, double stopHz,
                               double stopAttenuationDb, int numChannels, int maxFrames)
{
    channels = std::clamp (numChannels, 1, 2);

    // Kaiser's estimates of the length and window for the stop band's depth, the cut-off midway
    // through the transition; a multiple of 8 taps for the vector kernel.
    const double width = (stopHz - passHz) / inRate, cutoff = 0.5 * (passHz + stopHz) / inRate;
    taps = (int) std::ceil ((stopAttenuationDb - 7.95) / (14.36 * width)) + 1;
    taps = (taps + 7) / 8 * 8;
    const double beta = 0.1102 * (stopAttenuationDb - 8.7), half = 0.5 * taps, norm = std::cyl_bessel_i (0.0, beta);
    coefficients.assign ((size_t) up * (size_t) taps, 0.0f);
    std::vector<double> row ((size_t) taps);

    for (int p = 0; p < up; ++p)
    {
        double sum = 0.0;
        for (int j = 0; j < taps; ++j)
        {
            // How far the output lies after this tap's input, in input samples.
            const double t = (double) p / up + half - 1.0 - j, r = t / half;
            const double x = 2.0 * cutoff * t;
            const double sinc = std::abs (x) < 1.0e-12 ? 1.0 : std::sin (M_PI * x) / (M_PI * x);
            const double window = std::abs (r) >= 1.0 ? 0.0 : std::cyl_bessel_i (0.0, beta * std::sqrt (1.0 - r * r)) / norm;
            row[(size_t) j] = 2.0 * cutoff * sinc * window;
            sum += row[(size_t) j];
        }
        // Each phase passes a constant exactly.
        for (int j = 0; j < taps; ++j)
            coefficients[(size_t) p * (size_t) taps + (size_t) j] = (float) (row[(size_t) j] / sum);
    }

    steps.resize ((size_t) up);
    for (int p = 0; p < up; ++p)
        steps[(size_t) p] = { (p + down) / up, (p + down) % up };

    for (auto& h : history)
        h.assign ((size_t) (2 * taps + maxFrames + 8), 0.0f);
    wide = __builtin_cpu_supports ("avx2") && __builtin_cpu_supports ("fma");
    reset();
}

void PolyphaseFilter::reset() noexcept
{
    // Silence before the first input, so that output 0 lies on input 0.
    for (auto& h : history)
        std::fill (h.begin(), h.end(), 0.0f);
    phase = start = 0;
    count = taps / 2 - 1;
}

int PolyphaseFilter::process (const float* const* in, int frames, float* const* out, int outRoom) noexcept
{
    const int capacity = (int) history[0].size();
    if (count + frames > capacity)
    {
        for (int c = 0; c < channels; ++c)
            std::memmove (history[(size_t) c].data(), history[(size_t) c].data() + start, sizeof (float) * (size_t) (count - start));
        count -= start;
        start = 0;
    }

    frames = std::min (frames, capacity - count);
    for (int c = 0; c < channels; ++c)
        std::copy (in[c], in[c] + frames, history[(size_t) c].data() + count);
    count += frames;

    const float* x[2] = { history[0].data(), history[(size_t) channels - 1].data() };
    float* y[2] = { out[0], out[channels - 1] };
    return wide ? produceWide (coefficients.data(), x, taps, steps.data(), phase, start, count, y, outRoom)
                : producePlain (coefficients.data(), x, taps, steps.data(), phase, start, count, y, outRoom);
}

} // namespace road
