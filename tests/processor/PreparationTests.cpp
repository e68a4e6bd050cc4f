// Preparation: the model and rate chosen for the host, the sizes, the kernel, the low-pass.

#include "ProcessorHarness.h"

#include <support/ShippedModels.h>

#include <gtest/gtest.h>


TEST (Preparation, ChoosesModelRateByHostRateAndReportsTheRoadsDelay)
{
    struct Row
    {
        double hostRate;
        double expectedModelRate;
    };
    const Row table[] = {
        { 44100, 96000 },  { 48000, 96000 },  { 48000.5, 192000 }, { 88200, 192000 },
        { 96000, 192000 }, { 176400, 192000 }, { 192000, 192000 },  { 384000, 192000 },
    };

    TovaniAudioProcessor p;
    for (const auto& row : table)
    {
        SCOPED_TRACE (row.hostRate);
        p.prepareToPlay (row.hostRate, 512);
        EXPECT_EQ (p.road.modelRate(), row.expectedModelRate);
        EXPECT_EQ (p.road.network.usesHighRateModel(), row.expectedModelRate == 192000);
        EXPECT_EQ (p.road.network.activeSubnet().weightHh.rows(), 12);
        EXPECT_EQ (p.getLatencySamples(), p.road.latencySamples());
        EXPECT_GT (p.getTailLengthSeconds(), p.road.latencySamples() / row.hostRate);
    }
}

TEST (Preparation, TheKernelRunsReversedAndCausal)
{
    auto kernel = shippedModels()[0].parse()["conv_in.weight"].get<std::vector<float>>();

    // A kernel that is not the identity, so that the general form runs.
    kernel[kernel.size() - 3] = 0.25f;
    std::vector<float> causal (kernel.rbegin(), kernel.rend());
    InputKernel stage;
    stage.prepare (causal.data(), (int) causal.size(), 4096, 2);

    juce::AudioBuffer<float> impulse (2, 4096);
    impulse.clear();
    impulse.setSample (0, 0, 1.0f);
    stage.process (impulse.getArrayOfWritePointers(), 2, 4096);

    float worst = 0.0f;
    for (size_t j = 0; j < kernel.size(); ++j)
        worst = std::max (worst, std::abs (impulse.getSample (0, (int) j) - kernel[kernel.size() - 1 - j]));
    EXPECT_LT (worst, 1e-5f);
    EXPECT_LT (impulse.getMagnitude (1, 0, impulse.getNumSamples()), 1e-6f);
}

TEST (Preparation, SizesMetersAndFiltersByLayout)
{
    ProcessorHarness mono (1);
    EXPECT_EQ (mono->meterLevels.size(), 2);
    EXPECT_EQ (mono->inputMeter.numChannels(), 1);

    ProcessorHarness stereo (2);
    EXPECT_EQ (stereo->meterLevels.size(), 4);
    EXPECT_EQ (stereo->outputMeter.numChannels(), 2);

    // The same preparation again keeps the levels but restarts the network.
    stereo.process (stereo.sineBlock (512));
    const auto levels = stereo->meterLevels.copy();
    ASSERT_FALSE (stereo->road.network.activeGru().hidden.isZero());
    stereo->prepareToPlay (48000.0, 512);
    EXPECT_EQ (stereo->meterLevels.copy(), levels);
    EXPECT_TRUE (stereo->road.network.activeGru().hidden.isZero());
}

TEST (Preparation, ReadsTheControlsAndGainsInForce)
{
    TovaniAudioProcessor p;
    p.valueTreeState.getParameter ("Input Gain")->setValueNotifyingHost (
        p.valueTreeState.getParameter ("Input Gain")->convertTo0to1 (-6.0f));
    p.valueTreeState.getParameter ("Depth EQ")->setValueNotifyingHost (
        p.valueTreeState.getParameter ("Depth EQ")->convertTo0to1 (3.0f));
    p.valueTreeState.getParameter ("Depth EQ Switch")->setValueNotifyingHost (0.0f);
    p.prepareToPlay (44100.0, 256);

    EXPECT_NEAR (p.readControls().inputGain, 0.501187f, 1e-6f);
    EXPECT_EQ (p.readControls().outputGain, 1.0f);
    EXPECT_EQ (p.road.network.lastDepthEqControl, 0.0f);   // the switch is off, whatever Depth EQ holds

    NetworkStage::Subnet reference;
    auto model = shippedModels()[0].parse();
    reference.loadParams (model);
    reference.forward (0.0f, 0.0f);
    EXPECT_EQ (p.road.network.subnet96.weightHh, reference.weightHh);
}
