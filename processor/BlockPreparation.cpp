#include "PluginProcessor.h"

#include <cmath>

void TovaniAudioProcessor::prepareToPlay (double newSampleRate, int maximumExpectedSamplesPerBlock)
{
    // A host that reports no rate leaves the last known one in force rather than dividing by it.
    if (std::isfinite (newSampleRate) && newSampleRate > 0.0)
        sampleRate = newSampleRate;

    numInputChannels = juce::jlimit (1, 2, getTotalNumInputChannels());
    numOutputChannels = juce::jlimit (1, 2, getTotalNumOutputChannels());

    lastControls = readControls();
    const RoadSpec spec { sampleRate, juce::jmax (1, maximumExpectedSamplesPerBlock), numOutputChannels };

    // Outside the rates the road supports, it stays unprepared and the audio passes untouched.
    const bool prepared = road.prepare (spec, ShippedModels::model96().causalKernel, ShippedModels::model192().causalKernel, lastControls);
    setLatencySamples (prepared ? road.latencySamples() : 0);

    inputMeter.prepare (numOutputChannels);
    outputMeter.prepare (numOutputChannels);
    meterLevels.resize (2 * numOutputChannels);
}
