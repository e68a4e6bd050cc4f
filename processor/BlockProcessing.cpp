#include "PluginProcessor.h"

#include <cmath>

void TovaniAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const int n = buffer.getNumSamples();

    if (n <= 0 || isBypassed (bypassParam->load()))
        return;

    // A framework preparation for another length leaves sizes that do not fit this block, so the
    // prepared length counts as much as the last processed one.
    if (n != lastBlockSize || n != preparedBlockSize)
    {
        prepareToPlay (sampleRate, n);
        lastBlockSize = n;
    }

    const float depthControl = readDepthControl();
    const float eqControl = readDepthEqControl();
    emptyRamps();

    const bool gliding = depthControl != lastDepthControl || eqControl != lastDepthEqControl;

    if (gliding)
        glideTowardsCurrentControls (eqControl, depthControl);

    applyGainStage (buffer, readInputGain(), prevInputGain);
    GetTruePeak (buffer, 0);
    replaceNonFiniteSamples (buffer);

    const int N = resampledBlockSize;
    const int channels = juce::jmin (numOutputChannels, buffer.getNumChannels(), modelBuffer.getNumChannels());

    for (int c = 0; c < channels; ++c)
        upsamplers[(size_t) c].process (static_cast<double> (n) / N, buffer.getReadPointer (c),
                                        modelBuffer.getWritePointer (c), N, n, 0);

    applyConvolution();

    runNetwork (gliding);

    if (N > n)
        applyAntiAliasFilter();

    for (int c = 0; c < channels; ++c)
        downsamplers[(size_t) c].process (static_cast<double> (N) / n, modelBuffer.getReadPointer (c),
                                          buffer.getWritePointer (c), n, N, 0);

    applyGainStage (buffer, readOutputGain(), prevOutputGain);
    GetTruePeak (buffer, 1);
}

void TovaniAudioProcessor::glideTowardsCurrentControls (float eqControl, float depthControl)
{
    auto& subnet = activeSubnet();
    prevIhWeights = subnet.weightIh;
    prevHhWeights = subnet.weightHh;

    subnet.forward (eqControl, depthControl);

    ihRamp.swap (spareIhRamp);
    hhRamp.swap (spareHhRamp);
    Tovani::interpolateMatrix (prevIhWeights, subnet.weightIh, resampledBlockSize, ihRamp);
    Tovani::interpolateMatrix (prevHhWeights, subnet.weightHh, resampledBlockSize, hhRamp);

    lastDepthControl = depthControl;
    lastDepthEqControl = eqControl;
}

void TovaniAudioProcessor::applyConvolution() noexcept
{
    juce::dsp::AudioBlock<float> modelBlock (modelBuffer);

    for (size_t start = 0; start < modelBlock.getNumSamples(); start += (size_t) convolutionChunk)
    {
        auto piece = modelBlock.getSubBlock (start, juce::jmin ((size_t) convolutionChunk, modelBlock.getNumSamples() - start));
        convolution.process (juce::dsp::ProcessContextReplacing<float> (piece));
    }
}

void TovaniAudioProcessor::emptyRamps() noexcept
{
    // Emptied every block, but the matrices move to the spares rather than back to the heap.
    if (! ihRamp.empty())
    {
        spareIhRamp.swap (ihRamp);
        ihRamp.clear();
    }

    if (! hhRamp.empty())
    {
        spareHhRamp.swap (hhRamp);
        hhRamp.clear();
    }
}

void TovaniAudioProcessor::runNetwork (bool gliding) noexcept
{
    auto& subnet = activeSubnet();
    auto& gru = activeGru();
    const int channels = juce::jmin (gru.numChannels, modelBuffer.getNumChannels(), 2);
    const int steps = juce::jmin (gru.numSamples, modelBuffer.getNumSamples());
    float* samples[2] = { modelBuffer.getWritePointer (0), modelBuffer.getWritePointer (channels - 1) };

    for (int t = 0; t < steps; ++t)
    {
        for (int c = 0; c < channels; ++c)
            gru.input (0, c) = samples[c][t];

        if (gliding)
            gru.forward_cell (gru.input, ihRamp[(size_t) t], hhRamp[(size_t) t]);
        else
            gru.forward_cell (gru.input, subnet.weightIh, subnet.weightHh);

        for (int c = 0; c < channels; ++c)
            samples[c][t] = gru.output (0, c);
    }
}

void TovaniAudioProcessor::applyGainStage (juce::AudioBuffer<float>& buffer, float gain, float& previousGain) noexcept
{
    if (gain != previousGain)
    {
        buffer.applyGainRamp (0, buffer.getNumSamples(), previousGain, gain);
        previousGain = gain;
    }
    else if (gain == 0.0f)
    {
        buffer.clear();
    }
    else if (gain != 1.0f)
    {
        buffer.applyGain (gain);
    }
}

void TovaniAudioProcessor::replaceNonFiniteSamples (juce::AudioBuffer<float>& buffer) noexcept
{
    // One NaN or infinity would enter the recurrent state and never leave it.
    const int channels = juce::jmin (numOutputChannels, buffer.getNumChannels());

    for (int c = 0; c < channels; ++c)
    {
        auto* samples = buffer.getWritePointer (c);

        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (! std::isfinite (samples[i]))
                samples[i] = 0.0f;
    }
}
