#include "PluginProcessor.h"

void TovaniAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    runRoad (buffer, false);
}

void TovaniAudioProcessor::processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    // A host's own bypass fades like ours and keeps the latency its compensation expects.
    runRoad (buffer, true);
}

void TovaniAudioProcessor::runRoad (juce::AudioBuffer<float>& buffer, bool hostBypassed) noexcept
{
    juce::ScopedNoDenormals noDenormals;

    const int n = buffer.getNumSamples();
    const int channels = road.isPrepared() ? numOutputChannels : 0;

    if (n <= 0 || channels == 0 || buffer.getNumChannels() < channels)
        return;

    auto controls = readControls();
    lastControls = controls;
    controls.bypassed = controls.bypassed || hostBypassed;

    // A host that breaks its promise of a largest block is served in pieces of that size, never
    // by preparing again here.
    auto* const* data = buffer.getArrayOfWritePointers();

    for (int start = 0; start < n; start += road.maxBlock())
    {
        float* pointers[2] = { data[0] + start, data[channels - 1] + start };
        juce::AudioBuffer<float> piece (pointers, channels, juce::jmin (road.maxBlock(), n - start));

        road.process (piece, controls,
                      [this] (juce::AudioBuffer<float>& b) { GetTruePeak (b, 0); },
                      [this] (juce::AudioBuffer<float>& b) { GetTruePeak (b, 1); });
    }
}
