#pragma once

#include "MeterLevels.h"
#include "Parameters.h"
#include "road/Road.h"
#include "road/TruePeakMeter.h"

#include <model/Tovani.h>

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <vector>

/** The plug-in's audio processor: it holds the parameters and the signal road, answers the
    host, and keeps the true-peak meters the editor shows.
*/
class TovaniAudioProcessor : public juce::AudioProcessor
{
public:
    TovaniAudioProcessor();
    ~TovaniAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    void processBlockBypassed (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using AudioProcessor::processBlock;
    using AudioProcessor::processBlockBypassed;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int) override;
    const juce::String getProgramName (int) override;
    void changeProgramName (int, const juce::String&) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    juce::AudioProcessorParameter* getBypassParameter() const override;

    /** Measures the true peak of the block's channels into one meter group (0 input, 1 output). */
    void GetTruePeak (juce::AudioBuffer<float>& buffer, int which) noexcept;

    juce::AudioProcessorValueTreeState valueTreeState;

    int numInputChannels = 2;
    int numOutputChannels = 2;

    std::atomic<float>* depthParam = nullptr;
    std::atomic<float>* depthEqParam = nullptr;
    std::atomic<float>* inputGainParam = nullptr;
    std::atomic<float>* outputGainParam = nullptr;
    std::atomic<float>* depthEqSwitchParam = nullptr;
    std::atomic<float>* bypassParam = nullptr;

    double sampleRate = 48000.0;

    Road road;

    MeterLevels meterLevels;

    /** The true-peak meters after Input Gain (group 0) and after Output Gain (group 1). */
    TruePeakMeter inputMeter, outputMeter;

    /** The parameters as the road takes them, each kept at its last value while a host sends NaN. */
    RoadControls readControls() const noexcept;

private:
    RoadControls lastControls;

    void runRoad (juce::AudioBuffer<float>& buffer, bool hostBypassed) noexcept;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TovaniAudioProcessor)
};
