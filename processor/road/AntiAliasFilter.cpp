#include "AntiAliasFilter.h"

#include <cmath>

std::vector<float> AntiAliasFilter::design (double cutoff, double rate)
{
    // Kaiser's beta for 40 dB of stop-band attenuation.
    constexpr double attenuation = 40.0;
    const double beta = 0.5842 * std::pow (attenuation - 21.0, 0.4) + 0.07886 * (attenuation - 21.0);
    const double fc = cutoff / rate;
    const auto besselI0 = [] (double x)
    {
        double sum = 1.0, term = 1.0;
        for (int k = 1; k < 50; ++k)
        {
            term *= (x / (2.0 * k)) * (x / (2.0 * k));
            sum += term;
        }
        return sum;
    };

    std::vector<double> h (numTaps);
    double total = 0.0;

    for (int k = 0; k < numTaps; ++k)
    {
        const double t = k - delaySamples;
        const double ratio = t / delaySamples;
        const double window = besselI0 (beta * std::sqrt (1.0 - ratio * ratio)) / besselI0 (beta);
        const double x = 2.0 * juce::MathConstants<double>::pi * fc * t;
        h[(size_t) k] = 2.0 * fc * (x == 0.0 ? 1.0 : std::sin (x) / x) * window;
        total += h[(size_t) k];
    }

    std::vector<float> taps (numTaps);
    for (int k = 0; k < numTaps; ++k)
        taps[(size_t) k] = (float) (h[(size_t) k] / total);
    return taps;
}

void AntiAliasFilter::prepare (double cutoff, double rate, int maxBlock, int numChannels)
{
    coefficients = design (cutoff, rate);
    reversed.assign (coefficients.rbegin(), coefficients.rend());
    work.setSize (numChannels, numTaps - 1 + maxBlock);
    reset();
}

void AntiAliasFilter::reset() noexcept
{
    work.clear();
}

void AntiAliasFilter::process (float* const* channels, int numChannels, int n) noexcept
{
    constexpr int history = numTaps - 1;
    const float* h = reversed.data();
    numChannels = juce::jmin (numChannels, work.getNumChannels());
    n = juce::jmin (n, work.getNumSamples() - history);

    for (int c = 0; c < numChannels; ++c)
    {
        float* x = work.getWritePointer (c);
        float* y = channels[c];
        std::copy (y, y + n, x + history);

        // y[i] = sum over k of tap k times the sample k places back; the taps are symmetric,
        // and reversed they run forwards over the work buffer, which vectorises.
        for (int i = 0; i < n; ++i)
        {
            float sum = 0.0f;
            for (int k = 0; k < numTaps; ++k)
                sum += h[k] * x[i + k];
            y[i] = sum;
        }

        std::copy (x + n, x + n + history, x);
    }
}
