// The audio thread: no heap, no locks, in any block the host may send once it has prepared.

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

TEST_P (RealtimeSafety, NoBlockAllocatesOrLocksAfterThePreparation)
{
    if (! AllocationCounter::isAvailable())
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";

    const auto c = GetParam();
    ProcessorHarness h (c.channels, c.rate, c.block);
    std::vector<juce::AudioBuffer<float>> inputs;
    for (const int length : { c.block, c.block, std::max (1, c.block / 3), c.block, 1, c.block, c.block, c.block })
        inputs.push_back (h.sineBlock (length));

    juce::MemoryBlock state;
    h->getStateInformation (state);

    const auto counted = [&] (const char* what, auto&& change)
    {
        change();
        AllocationCounter allocations;
        LockCounter locks;
        for (auto& input : inputs)
            h->processBlock (input, h.midi);
        EXPECT_EQ (allocations.count(), 0u) << what;
        EXPECT_EQ (locks.count(), 0u) << what;
    };

    // Nothing warms up but the preparation: the very first blocks, with changing lengths.
    counted ("the first blocks", [] {});
    counted ("the first control change", [&] { h.setParameter ("Depth", 5.0f); });
    counted ("later changes", [&] { h.setParameter ("Depth", -5.0f); h.setParameter ("Input Gain", 3.0f); });
    counted ("bypass on", [&] { h.setParameter ("Bypass", 1.0f); });
    counted ("bypass off", [&] { h.setParameter ("Bypass", 0.0f); });
    counted ("a restored state", [&] { h->setStateInformation (state.getData(), (int) state.getSize()); });
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
                                             Case { 48000, 1, 2048 }, Case { 88200, 2, 512 }, Case { 96000, 2, 64 },
                                             Case { 96000, 1, 512 }, Case { 176400, 1, 64 }, Case { 192000, 2, 512 },
                                             Case { 192000, 1, 1 },
                                             Case { 22050, 2, 4096 }, Case { 48000, 2, 8192 }),
                          name);
