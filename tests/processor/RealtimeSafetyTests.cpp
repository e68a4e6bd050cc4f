// The audio thread in steady state: no heap, no locks. A control change may only fill the
// glide, whose matrices are reused from the last one.

#include "ProcessorHarness.h"

#include <support/AllocationCounter.h>
#include <support/LockCounter.h>

#include <gtest/gtest.h>

#include <mutex>

namespace
{
struct Case
{
    double rate;
    int channels, block;
};

std::string name (const ::testing::TestParamInfo<Case>& info)
{
    return std::to_string ((int) info.param.rate) + (info.param.channels == 1 ? "_mono_" : "_stereo_")
         + std::to_string (info.param.block);
}

class RealtimeSafety : public ::testing::TestWithParam<Case>
{
};
} // namespace

TEST_P (RealtimeSafety, SteadyAndChangeBlocksNeitherAllocateNorLock)
{
    if (! AllocationCounter::isAvailable())
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";

    const auto c = GetParam();
    ProcessorHarness h (c.channels, c.rate, c.block);
    std::vector<juce::AudioBuffer<float>> inputs;
    for (int i = 0; i < 8; ++i)
        inputs.push_back (h.sineBlock (c.block));

    // Warm-up: the first block prepares again, the first glide fills its matrices.
    h.process (inputs[0]);
    h.setParameter ("Depth", 5.0f);
    h.process (inputs[1]);
    h.process (inputs[2]);

    {
        AllocationCounter allocations;
        LockCounter locks;
        for (int i = 0; i < 4; ++i)
            h->processBlock (inputs[(size_t) i], h.midi);
        EXPECT_EQ (allocations.count(), 0u) << "steady blocks";
        EXPECT_EQ (locks.count(), 0u) << "steady blocks";
    }

    h.setParameter ("Depth", -5.0f);
    h.setParameter ("Input Gain", 3.0f);
    {
        AllocationCounter allocations;
        LockCounter locks;
        h->processBlock (inputs[4], h.midi);
        EXPECT_EQ (allocations.count(), 0u) << "a block with a control change";
        EXPECT_EQ (locks.count(), 0u) << "a block with a control change";
    }
    EXPECT_EQ (h->hhRamp.size(), (size_t) std::max (2, h->resampledBlockSize));
}

TEST (RealtimeSafety, TheCountersSeeWhatTheyAreMeantToCatch)
{
    if (! AllocationCounter::isAvailable())
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";

    AllocationCounter allocations;
    LockCounter locks;
    juce::AudioBuffer<float> buffer (2, 64);
    std::mutex mutex;
    { const std::lock_guard<std::mutex> guard (mutex); }
    juce::CriticalSection section;
    { const juce::ScopedLock guard (section); }
    EXPECT_GT (allocations.count(), 0u);
    EXPECT_EQ (locks.count(), 2u);
}

INSTANTIATE_TEST_SUITE_P (RatesAndLayouts, RealtimeSafety,
                          ::testing::Values (Case { 44100, 2, 512 }, Case { 44100, 1, 64 }, Case { 48000, 2, 512 },
                                             Case { 48000, 1, 2048 }, Case { 96000, 2, 64 }, Case { 96000, 1, 512 },
                                             Case { 192000, 2, 512 }, Case { 192000, 1, 1 },
                                             Case { 22050, 2, 4096 }, Case { 48000, 2, 8192 }),
                          name);
