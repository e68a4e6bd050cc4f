#pragma once

#include "MeterLevels.h"
#include "Parameters.h"
#include "road/TruePeakMeter.h"

#include <model/Tovani.h>

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_dsp/juce_dsp.h>

#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <vector>

/** The plug-in's audio processor: Input Gain, resampling to the model rate, the input FIR, the
    hyper-network-driven GRU, an anti-alias low-pass, resampling back, Output Gain, and true-peak
    meters before and after.
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
    using AudioProcessor::processBlock;

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

    /** Measures the true peak of the block's channels into one meter group (0 input, 1 output). */
    void GetTruePeak (juce::AudioBuffer<float>& buffer, int which) noexcept;

    using Subnet = Tovani::Subnet<float, 12>;
    using HyperGRU = Tovani::HyperGRU<float, 12, 2>;
    using LowPass = juce::dsp::ProcessorDuplicator<juce::dsp::FIR::Filter<float>, juce::dsp::FIR::Coefficients<float>>;

    static constexpr double highRateThreshold = 48000.0;
    static constexpr int truePeakTail = 12;

    /** The convolution runs in pieces of at most this many samples: above it, the framework's FFT
        would take its scratch space from the heap on the audio thread (model-rate blocks pass
        16384 samples with host blocks of 8192 at 48 kHz, or 4096 at 22.05 kHz). */
    static constexpr int convolutionChunk = 4096;

    juce::AudioProcessorValueTreeState valueTreeState;

    int lastBlockSize = 0;
    int numInputChannels = 2;
    int numOutputChannels = 2;
    float prevInputGain = 1.0f;
    float prevOutputGain = 1.0f;

    std::atomic<float>* depthParam = nullptr;
    std::atomic<float>* depthEqParam = nullptr;
    std::atomic<float>* inputGainParam = nullptr;
    std::atomic<float>* outputGainParam = nullptr;
    std::atomic<float>* depthEqSwitchParam = nullptr;
    std::atomic<float>* bypassParam = nullptr;

    bool useHighRateModel = false;

    nlohmann::json modelJson96;
    nlohmann::json modelJson192;

    juce::dsp::Convolution convolution;
    juce::AudioBuffer<float> kernelBuffer;

    float lastDepthControl = 0.0f;
    float lastDepthEqControl = 0.0f;

    std::vector<Eigen::MatrixXf> ihRamp, hhRamp;
    Eigen::MatrixXf prevIhWeights, prevHhWeights;

    Subnet subnet96;
    HyperGRU gru96;
    Subnet subnet192;
    HyperGRU gru192;

    double sampleRate = 48000.0;
    double modelRate = 96000.0;
    int resampledBlockSize = 0;

    std::array<juce::LagrangeInterpolator, 2> upsamplers;
    std::array<juce::LagrangeInterpolator, 2> downsamplers;

    juce::AudioBuffer<float> modelBuffer;
    LowPass antiAliasFilter;

    juce::AudioBuffer<float> truePeakHistory;
    MeterLevels meterLevels;

    /** The true-peak meters after Input Gain (group 0) and after Output Gain (group 1). */
    TruePeakMeter inputMeter, outputMeter;

    /** The host block length the current sizes were computed for (0 before any preparation). */
    int preparedBlockSize = 0;

    /** Stages of the block road that the benchmark also times one by one. */
    void runNetwork (bool gliding) noexcept;
    void applyConvolution() noexcept;
    void applyAntiAliasFilter() noexcept;

    Subnet& activeSubnet() noexcept { return useHighRateModel ? subnet192 : subnet96; }
    HyperGRU& activeGru() noexcept { return useHighRateModel ? gru192 : gru96; }

private:
    /** The glides' matrices, kept between glides so that a control change does not allocate. */
    std::vector<Eigen::MatrixXf> spareIhRamp, spareHhRamp;

    void emptyRamps() noexcept;
    float readDepthControl() const noexcept;
    float readDepthEqControl() const noexcept;
    float readInputGain() const noexcept;
    float readOutputGain() const noexcept;
    void glideTowardsCurrentControls (float eqControl, float depthControl);

    static void applyGainStage (juce::AudioBuffer<float>& buffer, float gain, float& previousGain) noexcept;
    void replaceNonFiniteSamples (juce::AudioBuffer<float>& buffer) noexcept;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TovaniAudioProcessor)
};
