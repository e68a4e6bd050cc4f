// What real hosts do to a plug-in: odd and changing block lengths, rates from 8 kHz to 384 kHz,
// calls out of order, parameters at and past their ends, state restored from another thread.
// Nothing may crash, and the output must stay finite and bounded.

#include "ProcessorHarness.h"

#include <support/AllocationCounter.h>

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace
{
/** The loudest output the effect can make: every state unit stays within ±1 (each step blends
    the last state with a tanh), so the read-out is at most the sum of its weights' magnitudes;
    then +20 dB of Output Gain, and a margin for the resamplers' and the low-pass's overshoot. */
float loudestPossibleOutput()
{
    TovaniAudioProcessor p;
    const float readOut = std::max (p.road.network.gru96.outWeight.cwiseAbs().colwise().sum().maxCoeff(),
                                    p.road.network.gru192.outWeight.cwiseAbs().colwise().sum().maxCoeff());
    return 10.0f * readOut * 2.0f;
}

::testing::AssertionResult finiteAndBounded (const juce::AudioBuffer<float>& buffer)
{
    static const float bound = loudestPossibleOutput();

    for (int c = 0; c < buffer.getNumChannels(); ++c)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const auto v = buffer.getSample (c, i);
            if (! std::isfinite (v) || std::abs (v) > bound)
                return ::testing::AssertionFailure() << "sample " << i << " of channel " << c << " is " << v;
        }
    return ::testing::AssertionSuccess();
}

juce::AudioBuffer<float> noiseBlock (int channels, int length, std::mt19937& rng, float level = 0.5f)
{
    std::uniform_real_distribution<float> noise (-level, level);
    juce::AudioBuffer<float> buffer (channels, length);
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < length; ++i)
            buffer.setSample (c, i, noise (rng));
    return buffer;
}
} // namespace

TEST (HostileHost, BlockLengthsFromOneSampleToEightThousand)
{
    for (const int channels : { 1, 2 })
    {
        ProcessorHarness h (channels, 48000.0, 512);
        std::mt19937 rng (3);

        for (const int length : { 1, 7, 4096, 8192, 1, 8192, 7 })
            for (int repeat = 0; repeat < 3; ++repeat)
            {
                auto out = h.process (noiseBlock (channels, length, rng));
                ASSERT_TRUE (finiteAndBounded (out)) << length;
            }

        std::uniform_int_distribution<int> lengths (1, 3000);
        for (int block = 0; block < 60; ++block)   // a new length every block
        {
            auto out = h.process (noiseBlock (channels, lengths (rng), rng));
            ASSERT_TRUE (finiteAndBounded (out));
        }
    }
}

TEST (HostileHost, EveryRateFromEightToThreeHundredEightyFourKilohertz)
{
    std::mt19937 rng (4);
    for (const double rate : { 8000.0, 11025.0, 16000.0, 22050.0, 32000.0, 44100.0, 48000.0, 64000.0,
                               88200.0, 96000.0, 176400.0, 192000.0, 352800.0, 384000.0 })
        for (const int length : { 64, 333, 1024 })
        {
            SCOPED_TRACE (rate);
            ProcessorHarness h (2, rate, length);
            float peak = 0.0f;
            const int delayBlocks = h->getLatencySamples() / length + 1;
            for (int block = 0; block < delayBlocks + 8; ++block)
            {
                auto out = h.process (h.sineBlock (length, 0.5f, 440.0));
                ASSERT_TRUE (finiteAndBounded (out)) << length;
                if (block > delayBlocks + 3)
                    peak = std::max (peak, peakOf (out, 0));
            }
            EXPECT_GT (peak, 0.05f) << length;
        }
}

TEST (HostileHost, UnsupportedRatesPassTheAudioUntouchedAndHugeBlocksAreServedInPieces)
{
    if (! AllocationCounter::isAvailable())
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";

    std::mt19937 rng (5);
    for (const double rate : { 1.0, 4000.0, 1.0e6 })
    {
        SCOPED_TRACE (rate);
        ProcessorHarness h (2, rate, 100000);
        auto in = noiseBlock (2, 100000, rng);
        auto out = in;
        AllocationCounter allocations;
        h->processBlock (out, h.midi);
        EXPECT_EQ (allocations.count(), 0u);
        EXPECT_EQ (h->getLatencySamples(), 0);
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ (0, std::memcmp (in.getReadPointer (c), out.getReadPointer (c), sizeof (float) * 100000));
    }

    // A promise of blocks past what the road supports is held to its own largest block.
    ProcessorHarness h (2, 8000.0, 1000000);
    EXPECT_EQ (h->road.maxBlock(), Road::maxHostBlock);
    auto out = noiseBlock (2, 150000, rng);
    AllocationCounter allocations;
    h->processBlock (out, h.midi);
    EXPECT_EQ (allocations.count(), 0u);
    EXPECT_TRUE (finiteAndBounded (out));
}

TEST (HostileHost, CallsOutOfOrder)
{
    std::mt19937 rng (5);
    {
        TovaniAudioProcessor p;   // blocks before any preparation
        juce::MidiBuffer midi;
        for (int block = 0; block < 4; ++block)
        {
            auto buffer = noiseBlock (2, 256, rng);
            p.processBlock (buffer, midi);
            ASSERT_TRUE (finiteAndBounded (buffer));
        }
    }
    {
        ProcessorHarness h;
        h->releaseResources();
        h->releaseResources();
        auto out = h.process (noiseBlock (2, 128, rng));
        ASSERT_TRUE (finiteAndBounded (out));
        h->prepareToPlay (96000.0, 64);
        h->prepareToPlay (44100.0, 4096);
        out = h.process (noiseBlock (2, 100, rng));
        ASSERT_TRUE (finiteAndBounded (out));
        h->prepareToPlay (0.0, 0);          // a host with nothing to report
        out = h.process (noiseBlock (2, 100, rng));
        ASSERT_TRUE (finiteAndBounded (out));
        h->releaseResources();
        out = h.process (noiseBlock (2, 100, rng));
        ASSERT_TRUE (finiteAndBounded (out));
    }
}

TEST (HostileHost, ParametersAtAndBeyondTheirEnds)
{
    ProcessorHarness h;
    std::mt19937 rng (6);
    const char* const ids[] = { "Input Gain", "Output Gain", "Depth", "Depth EQ", "Depth EQ Switch", "Bypass" };
    const float normalised[] = { 0.0f, 1.0f, -1.0f, 2.0f, 1e30f, -1e30f,
                                 std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN() };

    for (const auto value : normalised)
    {
        for (auto* id : ids)
            if (std::string (id) != "Bypass")
                h->valueTreeState.getParameter (id)->setValueNotifyingHost (value);

        for (int block = 0; block < 3; ++block)
        {
            auto out = h.process (noiseBlock (2, 512, rng, 1.0f));
            ASSERT_TRUE (finiteAndBounded (out)) << "normalised value " << value;
        }
    }

    // Back to ordinary settings, the effect works again.
    for (auto* id : ids)
    {
        auto* p = h->valueTreeState.getParameter (id);
        p->setValueNotifyingHost (p->getDefaultValue());
    }
    for (int block = 0; block < 4; ++block)
        h.process (h.sineBlock (512));
    const auto out = h.process (h.sineBlock (512));
    EXPECT_TRUE (finiteAndBounded (out));
    EXPECT_GT (peakOf (out, 0), 0.05f);
}

TEST (HostileHost, StateRestoredFromAnotherThreadWhileAudioRuns)
{
    ProcessorHarness h;
    juce::MemoryBlock states[2];
    h.setParameter ("Depth", 12.0f);
    h.setParameter ("Input Gain", -7.0f);
    h->getStateInformation (states[0]);
    h.setParameter ("Depth", -12.0f);
    h.setParameter ("Depth EQ Switch", 0.0f);
    h->getStateInformation (states[1]);

    std::atomic<bool> running { true };
    std::thread host ([&]
    {
        for (int i = 0; running.load(); ++i)
        {
            const auto& state = states[i % 2];
            h->setStateInformation (state.getData(), (int) state.getSize());
            juce::MemoryBlock saved;
            h->getStateInformation (saved);
        }
    });

    std::mt19937 rng (7);
    for (int block = 0; block < 200; ++block)
    {
        auto out = h.process (noiseBlock (2, 256, rng));
        ASSERT_TRUE (finiteAndBounded (out));
    }

    running = false;
    host.join();
}
