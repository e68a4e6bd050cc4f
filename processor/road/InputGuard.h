#pragma once

#include <cmath>

/** Makes every sample finite and bounded before any history sees it.

    One NaN or infinity would stay in the recurrent state and the filter histories for good, and so
    would a finite sample near the float limit, which overflows to infinity in the first sum of the
    resampler. Real programme material, even 20 dB hot after the input gain, stays far inside the
    bound (+60 dBFS), so only garbage is touched. */
struct InputGuard
{
    static constexpr float bound = 1000.0f;

    static void process (float* samples, int n) noexcept
    {
        for (int i = 0; i < n; ++i)
        {
            const float x = samples[i];
            // Written so that NaN fails both comparisons and lands on zero.
            samples[i] = (x >= -bound && x <= bound) ? x : (x > bound ? bound : (x < -bound ? -bound : 0.0f));
        }
    }
};
