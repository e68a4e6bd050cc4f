#include "PluginProcessor.h"

#include <cmath>

void TovaniAudioProcessor::prepareToPlay (double newSampleRate, int blockLength)
{
    // A host that reports no rate leaves the last known one in force rather than dividing by it.
    if (std::isfinite (newSampleRate) && newSampleRate > 0.0)
        sampleRate = newSampleRate;

    blockLength = juce::jmax (1, blockLength);
    numInputChannels = juce::jlimit (1, 2, getTotalNumInputChannels());
    numOutputChannels = juce::jlimit (1, 2, getTotalNumOutputChannels());

    useHighRateModel = sampleRate > highRateThreshold;
    modelRate = useHighRateModel ? 192000.0 : 96000.0;
    resampledBlockSize = static_cast<int> (std::ceil (static_cast<double> (blockLength) * modelRate / sampleRate));
    preparedBlockSize = blockLength;

    modelBuffer = juce::AudioBuffer<float> (numInputChannels, resampledBlockSize);
    modelBuffer.clear();

    const juce::dsp::ProcessSpec spec { modelRate,
                                        static_cast<juce::uint32> (resampledBlockSize),
                                        static_cast<juce::uint32> (numOutputChannels) };

    convolution.reset();

    // The stored kernel is a correlation, out[s] = sum k[m] x[s + m]; reversed, it is a causal
    // impulse response whose zero-delay tap is the last stored value.
    const auto kernel = (useHighRateModel ? modelJson192 : modelJson96)["conv_in.weight"].get<std::vector<float>>();
    kernelBuffer.setSize (1, static_cast<int> (kernel.size()));
    std::copy (kernel.begin(), kernel.end(), kernelBuffer.getWritePointer (0));
    kernelBuffer.reverse (0, 0, kernelBuffer.getNumSamples());
    convolution.loadImpulseResponse (std::move (kernelBuffer),
                                     modelRate,
                                     juce::dsp::Convolution::Stereo::yes,
                                     juce::dsp::Convolution::Trim::no,
                                     juce::dsp::Convolution::Normalise::no);
    auto convolutionSpec = spec;
    convolutionSpec.maximumBlockSize = static_cast<juce::uint32> (juce::jmin (resampledBlockSize, convolutionChunk));
    convolution.prepare (convolutionSpec);

    emptyRamps();

    const auto depthControl = readDepthControl();
    const auto eqControl = readDepthEqControl();
    lastDepthControl = depthControl;
    lastDepthEqControl = eqControl;

    activeGru().reset (numInputChannels, resampledBlockSize);
    activeSubnet().forward (eqControl, depthControl);

    const auto lowPass = juce::dsp::FilterDesign<float>::designFIRLowpassKaiserMethod (
        static_cast<float> (sampleRate * 0.5), modelRate, 0.05f, -40.0f);
    *antiAliasFilter.state = *lowPass;
    antiAliasFilter.prepare (spec);

    prevOutputGain = readOutputGain();
    prevInputGain = readInputGain();

    const int historyChannels = 2 * numOutputChannels;
    const int historyLength = blockLength + truePeakTail;

    if (truePeakHistory.getNumChannels() != historyChannels || truePeakHistory.getNumSamples() != historyLength)
    {
        truePeakHistory.setSize (historyChannels, historyLength);
        truePeakHistory.clear();
    }

    meterLevels.resize (historyChannels);
}
