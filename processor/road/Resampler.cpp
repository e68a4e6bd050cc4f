#include "Resampler.h"

#include <cmath>

void Resampler::prepare (double hostRate, double modelRate, int maxHostBlock, int numChannels)
{
    ratio = modelRate / hostRate;
    channels = numChannels;
    maxModel = (int) std::ceil (maxHostBlock * ratio);
    reset();
}

void Resampler::reset() noexcept
{
    for (auto& r : upsamplers)
        r.reset();
    for (auto& r : downsamplers)
        r.reset();
}

int Resampler::up (const float* const* input, int n, float* const* model) noexcept
{
    const int M = juce::jmin (maxModel, (int) std::ceil (n * ratio));

    for (int c = 0; c < channels; ++c)
        upsamplers[(size_t) c].process ((double) n / M, input[c], model[c], M, n, 0);

    return M;
}

void Resampler::down (const float* const* model, int M, float* const* output, int n) noexcept
{
    for (int c = 0; c < channels; ++c)
        downsamplers[(size_t) c].process ((double) M / n, model[c], output[c], n, M, 0);
}

int Resampler::latencySamples() const noexcept
{
    // Each interpolator delays by two of its input samples.
    const auto base = (double) juce::LagrangeInterpolator::getBaseLatency();
    return (int) std::lround (base + base / ratio);
}
