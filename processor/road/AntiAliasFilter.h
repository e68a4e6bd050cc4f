#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

/** The low-pass at the model rate that keeps the network's output below the host's Nyquist
    frequency before it is resampled back.

    A Kaiser-windowed sinc of 46 taps (a 0.05 transition and 40 dB of stop band), designed
    symmetric about its centre, so its phase is linear and its delay exactly 22.5 model-rate
    samples, and scaled to unit gain at DC, so that it passes the pass band at its true level. */
class AntiAliasFilter
{
public:
    static constexpr int numTaps = 46;
    static constexpr double delaySamples = 0.5 * (numTaps - 1);

    /** Designs the taps for a cut-off (Hz) at a rate (Hz). */
    static std::vector<float> design (double cutoff, double rate);

    void prepare (double cutoff, double rate, int maxBlock, int numChannels);
    void reset() noexcept;
    void process (float* const* channels, int numChannels, int n) noexcept;

    const std::vector<float>& taps() const noexcept { return coefficients; }

private:
    std::vector<float> coefficients;          // reversed in `reversed` for the inner loop
    std::vector<float> reversed;
    juce::AudioBuffer<float> work;            // per channel: history, then the block
};
