// The host <-> model rate stage: exact block lengths at a fixed delay, and a clean conversion.

#include "processor/road/Resampler.h"

#include <support/AllocationCounter.h>

#include <juce_dsp/juce_dsp.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
double modelRateFor (double hostRate) { return hostRate <= 48000.0 ? 96000.0 : 192000.0; }

// Runs x through up() and down() in blocks of random lengths; returns what comes out and
// checks every block's counts on the way.
std::vector<float> roundTrip (road::Resampler& r, const std::vector<float>& x, int maxBlock, unsigned seed)
{
    std::vector<float> y (x.size()), model ((size_t) r.maxModelSamples());
    std::mt19937 random (seed);
    AllocationCounter allocations;

    for (size_t pos = 0; pos < x.size();)
    {
        const int n = (int) std::min<size_t> (x.size() - pos, 1 + random() % (unsigned) maxBlock);
        const float* in[] = { x.data() + pos, x.data() + pos };
        float* mid[] = { model.data(), model.data() };
        const int m = r.up (in, n, mid);
        EXPECT_LE (m, r.maxModelSamples());
        const float* midIn[] = { model.data(), model.data() };
        float* out[] = { y.data() + pos, y.data() + pos };
        r.down (midIn, m, out, n);
        pos += (size_t) n;
    }

    if (AllocationCounter::isAvailable())
    {
        EXPECT_EQ (allocations.count(), 0u);
    }
    return y;
}

// Amplitude of the strongest component of x in [lowHz, highHz], read from a Kaiser-windowed
// spectrum whose side lobes lie far below the -80 dBc being checked.
double peakIn (const std::vector<float>& x, double rate, double lowHz, double highHz)
{
    constexpr int order = 15, size = 1 << order;
    std::vector<float> bins (2 * size);
    const double beta = 16.0, norm = std::cyl_bessel_i (0.0, beta);
    double windowSum = 0.0;

    for (int i = 0; i < size; ++i)
    {
        const double t = 2.0 * i / (size - 1) - 1.0;
        const double w = std::cyl_bessel_i (0.0, beta * std::sqrt (1.0 - t * t)) / norm;
        bins[(size_t) i] = (float) (w * x[x.size() - size + (size_t) i]);
        windowSum += w;
    }

    juce::dsp::FFT (order).performFrequencyOnlyForwardTransform (bins.data());
    double peak = 0.0;
    for (int k = std::max (0, (int) std::ceil (lowHz * size / rate)); k <= std::min (size / 2, (int) (highHz * size / rate)); ++k)
        peak = std::max (peak, 2.0 * bins[(size_t) k] / windowSum);
    return peak;
}

// Amplitude of the hz component over the last 2^15 samples of x, by least squares: free of the
// spectrum's scalloping, which reaches 0.6 dB between bins.
double amplitudeAt (const std::vector<float>& x, double rate, double hz)
{
    double c = 0.0, s = 0.0, cc = 0.0, ss = 0.0, cs = 0.0;
    for (size_t i = x.size() - (1u << 15); i < x.size(); ++i)
    {
        const double a = std::cos (2.0 * M_PI * hz * (double) i / rate), b = std::sin (2.0 * M_PI * hz * (double) i / rate);
        c += x[i] * a, s += x[i] * b, cc += a * a, ss += b * b, cs += a * b;
    }
    const double det = cc * ss - cs * cs;
    return std::hypot ((c * ss - s * cs) / det, (s * cc - c * cs) / det);
}

std::vector<float> tone (double hz, double rate, size_t length)
{
    std::vector<float> x (length);
    for (size_t i = 0; i < length; ++i)
        x[i] = (float) (0.5 * std::sin (2.0 * M_PI * hz * (double) i / rate));
    return x;
}
} // namespace

TEST (Resampler, RandomBlocksComeBackWholeAtTheStatedDelay)
{
    for (double host : { 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0 })
    {
        SCOPED_TRACE (host);
        road::Resampler r;
        r.prepare (host, modelRateFor (host), 1000, 2);
        const int latency = r.latencySamples();
        EXPECT_EQ (latency == 0, host == 192000.0);

        // A low tone shows a delay off by a fraction of a sample, and any gap in the output.
        const auto x = tone (997.0, host, (size_t) (latency + 30000));
        for (unsigned seed : { 1u, 2u })
        {
            const auto y = roundTrip (r, x, 1000, seed);
            double worst = 0.0;
            for (size_t i = (size_t) latency; i < y.size(); ++i)
                worst = std::max (worst, (double) std::abs (y[i] - x[i - (size_t) latency]));
            EXPECT_LT (worst, 4.0e-3);
            r.reset();
        }
    }
}

TEST (Resampler, FlatWithImagesAndAliasesBelowMinus80dBc)
{
    for (double host : { 44100.0, 48000.0, 88200.0, 96000.0, 176400.0 })
    {
        SCOPED_TRACE (host);
        const double model = modelRateFor (host), top = host <= 48000.0 ? 20000.0 : 0.45 * host;
        road::Resampler r;
        r.prepare (host, model, 512, 1);

        for (double hz : { 20.0, 1000.0, 10000.0, 15000.0, 20000.0, top })
        {
            SCOPED_TRACE (hz);
            r.reset();
            const auto x = tone (hz, host, 118 * 512);
            std::vector<float> up, y (x.size()), block ((size_t) r.maxModelSamples());

            for (size_t pos = 0; pos < x.size(); pos += 512)
            {
                const float* in[] = { x.data() + pos };
                float* mid[] = { block.data() };
                const int m = r.up (in, 512, mid);
                up.insert (up.end(), block.begin(), block.begin() + m);
                const float* midIn[] = { block.data() };
                float* out[] = { y.data() + pos };
                r.down (midIn, m, out, 512);
            }

            EXPECT_NEAR (20.0 * std::log10 (amplitudeAt (y, host, hz) / 0.5), 0.0, 0.05);
            if (hz <= 20000.0)
            {
                EXPECT_LT (20.0 * std::log10 (peakIn (up, model, host / 2.0, model / 2.0) / 0.5), -80.0);
            }
        }

        // Model-rate content above the host's Nyquist must not fold back into the audible band.
        for (double alias : { 20.0, 1000.0, 10000.0, 20000.0 })
        {
            if (host - alias >= model / 2.0)
                continue;
            SCOPED_TRACE (alias);
            r.reset();
            const auto x = tone (host - alias, model, 140000);
            std::vector<float> y (118 * 512);
            long long fed = 0;

            for (size_t pos = 0; pos < y.size(); pos += 512)
            {
                const auto due = (long long) std::floor ((double) (pos + 512) * model / host) - fed;
                const float* midIn[] = { x.data() + fed };
                float* out[] = { y.data() + pos };
                r.down (midIn, (int) due, out, 512);
                fed += due;
            }

            EXPECT_LT (20.0 * std::log10 (peakIn (y, host, 0.0, host / 2.0) / 0.5 + 1.0e-12), -80.0);
        }
    }
}
