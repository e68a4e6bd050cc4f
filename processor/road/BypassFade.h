#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <vector>

/** Crossfades between the processed signal and the dry input delayed by the road's latency.

    The dry signal is delayed so that both sides of the fade line up sample for sample; a hard
    switch, or a fade against an undelayed dry signal, clicks. The road keeps running while
    bypassed, so when processing resumes its histories hold the present signal, not the audio of
    before the bypass began. */
class BypassFade
{
public:
    static constexpr double fadeSeconds = 0.005;

    void prepare (double sampleRate, int maxBlock, int numChannels, int latency)
    {
        delay = juce::jmax (0, latency);
        channels = numChannels;
        delayLine.assign ((size_t) (channels * delay), 0.0f);
        dry.setSize (channels, maxBlock);
        step = 1.0f / (float) juce::jmax (1.0, fadeSeconds * sampleRate);
        reset (mixTarget);
    }

    /** Settles on a side at once, with empty histories. */
    void reset (float bypassed) noexcept
    {
        std::fill (delayLine.begin(), delayLine.end(), 0.0f);
        mix = mixTarget = bypassed;
    }

    /** Takes the block's dry input before anything changes it. The history holds the last
        `delay` samples of each channel, oldest first, so the delay is a few block copies. */
    void captureDry (const juce::AudioBuffer<float>& block) noexcept
    {
        const int n = block.getNumSamples();

        for (int c = 0; c < channels; ++c)
        {
            const float* in = block.getReadPointer (juce::jmin (c, block.getNumChannels() - 1));
            float* out = dry.getWritePointer (c);
            float* history = delayLine.data() + c * delay;

            if (n >= delay)
            {
                std::copy_n (history, delay, out);
                std::copy_n (in, n - delay, out + delay);
                std::copy_n (in + n - delay, delay, history);
            }
            else
            {
                std::copy_n (history, n, out);
                std::copy (history + n, history + delay, history);
                std::copy_n (in, n, history + delay - n);
            }
        }
    }

    /** Mixes the delayed dry input into the processed block, moving towards `bypassed`. */
    void process (juce::AudioBuffer<float>& block, bool bypassed) noexcept
    {
        mixTarget = bypassed ? 1.0f : 0.0f;
        const int n = block.getNumSamples();

        if (mix == mixTarget)
        {
            if (mix == 1.0f)
                for (int c = 0; c < channels; ++c)
                    block.copyFrom (c, 0, dry, c, 0, n);
            return;
        }

        const float start = mix;

        for (int c = 0; c < channels; ++c)
        {
            float* out = block.getWritePointer (c);
            const float* in = dry.getReadPointer (c);
            float m = start;

            for (int i = 0; i < n; ++i)
            {
                m = mixTarget > m ? juce::jmin (mixTarget, m + step) : juce::jmax (mixTarget, m - step);
                out[i] += m * (in[i] - out[i]);
            }

            mix = m;
        }
    }

private:
    std::vector<float> delayLine;
    juce::AudioBuffer<float> dry;
    int delay = 0, channels = 0;
    float mix = 0.0f, mixTarget = 0.0f, step = 1.0f;
};
