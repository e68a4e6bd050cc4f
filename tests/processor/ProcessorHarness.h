#pragma once

#include <processor/PluginProcessor.h>

#include <cmath>
#include <memory>

/** A processor set up as a host would: a layout, a preparation, and blocks of audio. */
struct ProcessorHarness
{
    std::unique_ptr<TovaniAudioProcessor> processor = std::make_unique<TovaniAudioProcessor>();
    juce::MidiBuffer midi;
    double phase = 0.0;

    explicit ProcessorHarness (int channels = 2, double rate = 48000.0, int blockLength = 512)
    {
        const auto set = channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
        processor->setPlayConfigDetails (channels, channels, rate, blockLength);
        processor->setBusesLayout ({ { set }, { set } });
        processor->prepareToPlay (rate, blockLength);
    }

    TovaniAudioProcessor& operator*() { return *processor; }
    TovaniAudioProcessor* operator->() { return processor.get(); }

    void setParameter (const char* id, float value)
    {
        auto* parameter = processor->valueTreeState.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
    }

    /** A sine of the given level in every channel, continuing from the previous block. */
    juce::AudioBuffer<float> sineBlock (int length, float amplitude = 0.25f, double frequency = 1000.0)
    {
        juce::AudioBuffer<float> buffer (processor->getTotalNumInputChannels(), length);
        const double step = juce::MathConstants<double>::twoPi * frequency / processor->sampleRate;

        for (int i = 0; i < length; ++i)
        {
            const auto v = amplitude * (float) std::sin (phase);
            for (int c = 0; c < buffer.getNumChannels(); ++c)
                buffer.setSample (c, i, c == 0 ? v : 0.5f * v);
            phase += step;
        }
        return buffer;
    }

    juce::AudioBuffer<float> process (juce::AudioBuffer<float> buffer)
    {
        processor->processBlock (buffer, midi);
        return buffer;
    }
};

inline float peakOf (const juce::AudioBuffer<float>& buffer, int channel)
{
    return buffer.getMagnitude (channel, 0, buffer.getNumSamples());
}

inline bool allFinite (const juce::AudioBuffer<float>& buffer)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (! std::isfinite (buffer.getSample (c, i)))
                return false;
    return true;
}
