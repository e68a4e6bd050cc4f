#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/** A linear gain that ramps across a block when it changes, so automation never steps. */
class GainStage
{
public:
    /** Starts the next block from this gain, without a ramp. */
    void reset (float gain) noexcept { previous = gain; }

    float current() const noexcept { return previous; }

    void process (juce::AudioBuffer<float>& block, float gain) noexcept
    {
        if (gain != previous)
        {
            block.applyGainRamp (0, block.getNumSamples(), previous, gain);
            previous = gain;
        }
        else if (gain == 0.0f)
        {
            block.clear();
        }
        else if (gain != 1.0f)
        {
            block.applyGain (gain);
        }
    }

private:
    float previous = 1.0f;
};
