// True-peak meters: the figures the four-phase interpolation filter must give.

#include "ProcessorHarness.h"

#include <gtest/gtest.h>

namespace
{
struct MeterBench
{
    TovaniAudioProcessor p;

    explicit MeterBench (int length)
    {
        p.prepareToPlay (48000.0, length);
    }

    float measure (juce::AudioBuffer<float>& block)
    {
        p.GetTruePeak (block, 0);
        return p.meterLevels[0];
    }
};

juce::AudioBuffer<float> silence (int length)
{
    juce::AudioBuffer<float> b (2, length);
    b.clear();
    return b;
}
} // namespace

TEST (TruePeak, ImpulseAtEitherEndOfABlock)
{
    MeterBench m (64);

    auto first = silence (64);
    first.setSample (0, 0, 1.0f);
    EXPECT_NEAR (m.measure (first), -0.2452f, 1e-4f);

    auto last = silence (64);
    last.setSample (0, 63, 1.0f);
    EXPECT_NEAR (m.measure (last), -30.70f, 0.005f);

    auto next = silence (64);   // the impulse is now among the carried samples
    EXPECT_NEAR (m.measure (next), -0.2452f, 1e-4f);

    auto after = silence (64);
    EXPECT_EQ (m.measure (after), -std::numeric_limits<float>::infinity());
}

TEST (TruePeak, ConstantFullScaleAtAnyLength)
{
    for (const int length : { 1, 7, 64, 512 })
    {
        MeterBench m (length);
        juce::AudioBuffer<float> ones (2, length);
        for (int c = 0; c < 2; ++c)
            juce::FloatVectorOperations::fill (ones.getWritePointer (c), 1.0f, length);

        for (int block = 0; block < 14; ++block)   // fill the carried samples first
            m.measure (ones);
        EXPECT_NEAR (m.measure (ones), 20.0f * std::log10 (1.0015869140625f), 1e-5f) << length;
        EXPECT_NEAR (m.p.meterLevels[1], 0.0138f, 1e-4f);
    }
}

TEST (TruePeak, GroupsAndChannelsLandInTheirEntries)
{
    ProcessorHarness mono (1);
    auto block = mono.sineBlock (512, 0.5f);
    mono->GetTruePeak (block, 1);
    EXPECT_EQ (mono->meterLevels[0], MeterLevels::unmeasured);
    EXPECT_NEAR (mono->meterLevels[1], -6.02f, 0.1f);

    ProcessorHarness stereo (2);
    auto pair = stereo.sineBlock (512, 0.5f);   // right channel at half the left's level
    stereo->GetTruePeak (pair, 1);
    EXPECT_NEAR (stereo->meterLevels[2], -6.02f, 0.1f);
    EXPECT_NEAR (stereo->meterLevels[3], -12.04f, 0.1f);
    EXPECT_EQ (stereo->meterLevels[0], MeterLevels::unmeasured);

    // A NaN in the block leaves the peak to the finite samples.
    pair.setSample (0, 10, std::numeric_limits<float>::quiet_NaN());
    stereo->GetTruePeak (pair, 0);
    EXPECT_NEAR (stereo->meterLevels[1], -12.04f, 0.1f);
}
