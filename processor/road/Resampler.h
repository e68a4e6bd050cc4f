#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>

/** Host rate <-> model rate: each host block of n samples becomes M model-rate samples, and M
    model-rate samples become exactly n host samples again.

    Lagrange interpolation at the ratio of the two block lengths, M = ceil(n * model / host). */
class Resampler
{
public:
    void prepare (double hostRate, double modelRate, int maxHostBlock, int numChannels);
    void reset() noexcept;
    int maxModelSamples() const noexcept { return maxModel; }
    int up (const float* const* input, int n, float* const* model) noexcept;
    void down (const float* const* model, int M, float* const* output, int n) noexcept;
    int latencySamples() const noexcept;

private:
    std::array<juce::LagrangeInterpolator, 2> upsamplers, downsamplers;
    double ratio = 2.0;
    int channels = 0, maxModel = 0;
};
