// The per-block road: when it prepares again, how a control change glides, the gain stages,
// bypass, mono, and recovery from a non-finite input sample.

#include "ProcessorHarness.h"

#include <gtest/gtest.h>

TEST (BlockRoad, EmptyBlocksDoNothing)
{
    ProcessorHarness h;
    juce::AudioBuffer<float> empty (2, 0);
    h->processBlock (empty, h.midi);
    EXPECT_EQ (h->lastBlockSize, 0);
    EXPECT_EQ (h->meterLevels.copy(), (std::vector<float> (4, MeterLevels::unmeasured)));
}

TEST (BlockRoad, PreparesAgainWheneverTheBlockLengthChanges)
{
    ProcessorHarness h (2, 44100.0, 512);

    // The first block prepares again, even right after the framework prepared for its length.
    h.process (h.sineBlock (512));
    EXPECT_EQ (h->lastBlockSize, 512);
    EXPECT_EQ (h->resampledBlockSize, 1115);
    EXPECT_FALSE (h->activeGru().hidden.isZero());

    for (int i = 0; i < 6; ++i)
    {
        const int length = i % 2 == 0 ? 256 : 512;
        auto out = h.process (h.sineBlock (length));
        EXPECT_EQ (h->lastBlockSize, length);
        EXPECT_EQ (h->resampledBlockSize, (int) std::ceil (length * 96000.0 / 44100.0));
        EXPECT_EQ (h->truePeakHistory.getNumSamples(), length + 12);
        EXPECT_TRUE (allFinite (out));
        EXPECT_GT (peakOf (out, 0), 0.01f);
    }

    // Steady lengths do not prepare: the recurrent state carries over.
    h.process (h.sineBlock (512));
    const Eigen::MatrixXf state = h->activeGru().hidden;
    h.process (h.sineBlock (512));
    EXPECT_NE (h->activeGru().hidden, state);
    EXPECT_EQ (h->resampledBlockSize, 1115);
}

TEST (BlockRoad, AFrameworkPreparationForAnotherLengthIsCorrectedAtTheNextBlock)
{
    // Sizes computed for 1024-sample blocks would run 512-sample blocks at twice the model rate.
    ProcessorHarness h (2, 48000.0, 512);
    h.process (h.sineBlock (512));
    h->prepareToPlay (48000.0, 1024);
    EXPECT_EQ (h->resampledBlockSize, 2048);
    h.process (h.sineBlock (512));
    EXPECT_EQ (h->resampledBlockSize, 1024);
    EXPECT_EQ (h->truePeakHistory.getNumSamples(), 524);
}

TEST (BlockRoad, AControlChangeGlidesAcrossOneBlock)
{
    ProcessorHarness h;
    h.process (h.sineBlock (512));
    const Eigen::MatrixXf oldIh = h->subnet96.weightIh, oldHh = h->subnet96.weightHh;

    h.setParameter ("Depth", 7.5f);
    h.process (h.sineBlock (512));

    ASSERT_EQ (h->ihRamp.size(), 1024u);
    ASSERT_EQ (h->hhRamp.size(), 1024u);
    EXPECT_EQ (h->ihRamp.front(), oldIh);
    EXPECT_EQ (h->hhRamp.front(), oldHh);
    EXPECT_EQ (h->hhRamp.back(), h->subnet96.weightHh);
    EXPECT_NE (h->subnet96.weightHh, oldHh);
    EXPECT_EQ (h->lastDepthControl, 0.5f);

    TovaniAudioProcessor::Subnet expected;
    expected.loadParams (h->modelJson96);
    expected.forward (0.2f, 0.5f);
    EXPECT_EQ (h->subnet96.weightHh, expected.weightHh);

    h.process (h.sineBlock (512));   // the block after runs the new weights as they are
    EXPECT_TRUE (h->ihRamp.empty());
    EXPECT_TRUE (h->hhRamp.empty());
}

TEST (BlockRoad, AChangeWithANewLengthTakesEffectAtOnce)
{
    ProcessorHarness h;
    h.process (h.sineBlock (512));

    h.setParameter ("Depth", -4.0f);
    h.setParameter ("Input Gain", -6.0f);
    auto in = h.sineBlock (256);
    const auto out = h.process (in);

    EXPECT_TRUE (h->hhRamp.empty());
    EXPECT_EQ (h->lastDepthControl, -4.0f / 15.0f);
    EXPECT_NEAR (h->prevInputGain, 0.501187f, 1e-6f);
    EXPECT_TRUE (allFinite (out));
}

TEST (BlockRoad, AOneSampleGlideUsesTheOldWeightsForItsOnlyStep)
{
    ProcessorHarness h (2, 192000.0, 1);
    h.process (h.sineBlock (1));
    ASSERT_EQ (h->resampledBlockSize, 1);
    const Eigen::MatrixXf oldHh = h->subnet192.weightHh;

    h.setParameter ("Depth", 3.0f);
    h.process (h.sineBlock (1));
    ASSERT_EQ (h->hhRamp.size(), 2u);
    EXPECT_EQ (h->hhRamp[0], oldHh);
    EXPECT_EQ (h->hhRamp[1], h->subnet192.weightHh);
}

TEST (BlockRoad, GainChangesRampOverOneBlockThenHold)
{
    ProcessorHarness h;
    h.process (h.sineBlock (512));
    EXPECT_EQ (h->prevInputGain, 1.0f);

    h.setParameter ("Input Gain", -6.0f);
    juce::AudioBuffer<float> ones (2, 512);
    for (int c = 0; c < 2; ++c)
        juce::FloatVectorOperations::fill (ones.getWritePointer (c), 1.0f, 512);

    // The input meter sees the ramped signal: the block's first samples near full scale.
    h.process (ones);
    EXPECT_NEAR (h->prevInputGain, 0.501187f, 1e-6f);
    EXPECT_GT (h->meterLevels[0], -0.5f);

    h.process (ones);
    h.process (ones);   // now flat at -6 dB, carried samples included
    EXPECT_NEAR (h->meterLevels[0], 20.0f * std::log10 (0.501187f * 1.0015869f), 0.01f);
}

TEST (BlockRoad, BypassLeavesSamplesAndMetersUntouched)
{
    ProcessorHarness h;
    h.process (h.sineBlock (512));
    const auto levels = h->meterLevels.copy();
    const Eigen::MatrixXf state = h->activeGru().hidden;

    h.setParameter ("Bypass", 1.0f);
    auto in = h.sineBlock (300);   // a new length would otherwise prepare
    const auto out = h.process (in);

    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 300; ++i)
            ASSERT_EQ (out.getSample (c, i), in.getSample (c, i));
    EXPECT_EQ (h->meterLevels.copy(), levels);
    EXPECT_EQ (h->lastBlockSize, 512);
    EXPECT_EQ (h->activeGru().hidden, state);

    h.setParameter ("Bypass", 0.0f);
    h.process (h.sineBlock (512));
    EXPECT_NE (h->meterLevels.copy(), levels);
}

TEST (BlockRoad, MonoRunsChannelZeroOnly)
{
    ProcessorHarness h (1);
    const auto out = h.process (h.sineBlock (512));
    EXPECT_EQ (out.getNumChannels(), 1);
    EXPECT_EQ (h->meterLevels.size(), 2);
    EXPECT_EQ (h->activeGru().numChannels, 1);
    EXPECT_EQ (h->activeGru().input (0, 1), 0.0f);
    EXPECT_GT (peakOf (out, 0), 0.01f);
    EXPECT_GT (h->meterLevels[0], -20.0f);
    EXPECT_GT (h->meterLevels[1], -40.0f);
}

TEST (BlockRoad, RecoversFromNonFiniteInputWithinTwoBlocks)
{
    ProcessorHarness h;
    h.process (h.sineBlock (512));

    auto poisoned = h.sineBlock (512);
    poisoned.setSample (0, 100, std::numeric_limits<float>::quiet_NaN());
    poisoned.setSample (1, 200, std::numeric_limits<float>::infinity());
    h.process (poisoned);

    h.process (h.sineBlock (512));
    const auto out = h.process (h.sineBlock (512));
    EXPECT_TRUE (allFinite (out));
    EXPECT_TRUE (h->activeGru().hidden.allFinite());
    EXPECT_GT (peakOf (out, 0), 0.01f);
}
