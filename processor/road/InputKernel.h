#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

/** The model's input FIR, run in place at the model rate with its history carried across blocks.
    A kernel that is a unit impulse at zero delay costs nothing. */
class InputKernel
{
public:
    /** impulseResponse[0] is the zero-delay tap. */
    void prepare (const float* impulseResponse, int length, int maxBlock, int numChannels);
    void reset() noexcept;
    void process (float* const* channels, int numChannels, int n) noexcept;

private:
    std::vector<float> reversed;
    juce::AudioBuffer<float> work;
    bool identity = true;
};
