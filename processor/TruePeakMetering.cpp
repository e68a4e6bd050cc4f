#include "PluginProcessor.h"
#include "TruePeakFilter.h"

#include <cmath>
#include <cstring>

void TovaniAudioProcessor::GetTruePeak (juce::AudioBuffer<float>& buffer, int which) noexcept
{
    const int n = buffer.getNumSamples();
    const int channels = juce::jmin (numOutputChannels, buffer.getNumChannels());

    for (int ch = 0; ch < channels; ++ch)
    {
        const int idx = which * numOutputChannels + ch;

        if (idx >= truePeakHistory.getNumChannels())
            continue;

        const int length = truePeakHistory.getNumSamples();
        auto* history = truePeakHistory.getWritePointer (idx);

        // The previous block's last samples are the filter's history for this block's first ones.
        std::memmove (history, history + length - truePeakTail, sizeof (float) * (size_t) truePeakTail);

        const int measured = juce::jmin (n, length - truePeakTail);

        if (measured < 1)
        {
            meterLevels.set (idx, -std::numeric_limits<float>::infinity());
            continue;
        }

        truePeakHistory.copyFrom (idx, truePeakTail, buffer, ch, 0, measured);

        float peak = 0.0f;

        for (int f = truePeakTail; f < measured + truePeakTail; ++f)
        {
            for (const auto& phase : TruePeakFilter::phases)
            {
                float y = 0.0f;

                for (int k = 0; k < TruePeakFilter::numTaps; ++k)
                    y += phase[(size_t) k] * history[f - k];

                if (std::abs (y) > peak)
                    peak = std::abs (y);
            }
        }

        meterLevels.set (idx, 20.0f * std::log10 (peak));
    }
}
