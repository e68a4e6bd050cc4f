#include "InputKernel.h"

void InputKernel::prepare (const float* impulseResponse, int length, int maxBlock, int numChannels)
{
    identity = length >= 1 && impulseResponse[0] == 1.0f
            && std::all_of (impulseResponse + 1, impulseResponse + length, [] (float x) { return x == 0.0f; });

    reversed.assign (impulseResponse, impulseResponse + length);
    std::reverse (reversed.begin(), reversed.end());
    work.setSize (numChannels, identity ? 0 : length - 1 + maxBlock);
    reset();
}

void InputKernel::reset() noexcept
{
    work.clear();
}

void InputKernel::process (float* const* channels, int numChannels, int n) noexcept
{
    if (identity)
        return;

    const int taps = (int) reversed.size();
    const int history = taps - 1;
    numChannels = juce::jmin (numChannels, work.getNumChannels());
    n = juce::jmin (n, work.getNumSamples() - history);

    for (int c = 0; c < numChannels; ++c)
    {
        float* x = work.getWritePointer (c);
        float* y = channels[c];
        std::copy (y, y + n, x + history);

        for (int i = 0; i < n; ++i)
        {
            float sum = 0.0f;
            for (int k = 0; k < taps; ++k)
                sum += reversed[(size_t) k] * x[i + k];
            y[i] = sum;
        }

        std::copy (x + n, x + n + history, x);
    }
}
