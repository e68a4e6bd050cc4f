#include "PluginProcessor.h"

void TovaniAudioProcessor::GetTruePeak (juce::AudioBuffer<float>& buffer, int which) noexcept
{
    if (which != 0 && which != 1)
        return;

    auto& meter = which == 0 ? inputMeter : outputMeter;
    const int n = buffer.getNumSamples();
    const int channels = juce::jmin (numOutputChannels, buffer.getNumChannels());

    for (int ch = 0; ch < channels; ++ch)
        meterLevels.set (which * numOutputChannels + ch, meter.process (ch, buffer.getReadPointer (ch), n));
}
