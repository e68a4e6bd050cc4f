// The input FIR in each of its forms against a plain convolution, and the true-peak meter against
// the plain filter, both over streams cut into blocks of random lengths.

#include "ProcessorHarness.h"

#include <processor/road/InputKernel.h>
#include <processor/road/TruePeakMeter.h>

#include <support/AllocationCounter.h>
#include <support/LockCounter.h>

#include <gtest/gtest.h>

#include <random>

namespace
{
std::vector<float> noise (std::mt19937& rng, int length)
{
    std::uniform_real_distribution<float> u (-1.0f, 1.0f);
    std::vector<float> v ((size_t) length);
    for (auto& s : v)
        s = u (rng);
    return v;
}

/** Runs a stereo stream through the kernel in random block lengths up to maxBlock, twice with a
    reset between, and returns the largest difference from the plain convolution. */
double worstError (const std::vector<float>& h, int maxBlock, InputKernel::Form expectedForm, std::mt19937& rng)
{
    InputKernel kernel;
    kernel.prepare (h.data(), (int) h.size(), maxBlock, 2);
    EXPECT_EQ (kernel.form(), expectedForm);

    const int length = 6 * maxBlock + 3000;
    const std::array<std::vector<float>, 2> in { noise (rng, length), noise (rng, length) };
    std::array<std::vector<double>, 2> expected;
    for (int c = 0; c < 2; ++c)
        for (int t = 0; t < length; ++t)
        {
            double y = 0.0;
            for (int k = 0; k < (int) h.size() && k <= t; ++k)
                y += (double) h[(size_t) k] * in[(size_t) c][(size_t) (t - k)];
            expected[(size_t) c].push_back (y);
        }

    std::uniform_int_distribution<int> blockLength (0, maxBlock);
    double worst = 0.0;

    for (int pass = 0; pass < 2; ++pass)
    {
        auto out = in;
        {
            AllocationCounter allocations;
            LockCounter locks;
            for (int start = 0; start < length;)
            {
                const int n = std::min (blockLength (rng), length - start);
                float* channels[] = { out[0].data() + start, out[1].data() + start };
                kernel.process (channels, 2, n);
                start += n;
            }
            EXPECT_EQ (allocations.count(), 0u);
            EXPECT_EQ (locks.count(), 0u);
        }

        for (int c = 0; c < 2; ++c)
            for (int t = 0; t < length; ++t)
                worst = std::max (worst, std::abs (expected[(size_t) c][(size_t) t] - out[(size_t) c][(size_t) t]));

        kernel.reset();
    }
    return worst;
}
} // namespace

TEST (InputKernel, EachFormMatchesThePlainConvolution)
{
    std::mt19937 rng (7);

    std::vector<float> identity (2048, 0.0f);
    identity[0] = 1.0f;
    EXPECT_EQ (worstError (identity, 1024, InputKernel::Form::passthrough, rng), 0.0);

    std::vector<float> delayed (2048, 0.0f);
    delayed[37] = 1.0f;
    EXPECT_EQ (worstError (delayed, 1115, InputKernel::Form::direct, rng), 0.0);

    std::vector<float> shortFilter (2048, 0.0f);
    const auto taps = noise (rng, 64);
    std::copy (taps.begin(), taps.end(), shortFilter.begin() + 300);
    EXPECT_LT (worstError (shortFilter, 1024, InputKernel::Form::direct, rng), 1e-5);

    // Long kernels at the two model-rate block lengths of 512-sample host blocks, at a short one
    // (many partitions), and at one far longer than the kernel.
    const auto general = noise (rng, 2048);
    for (const int maxBlock : { 1024, 1115, 96, 9000 })
        EXPECT_LT (worstError (general, maxBlock, InputKernel::Form::partitioned, rng), 2e-4) << maxBlock;
}

TEST (TruePeakMeter, MatchesThePlainFilterOverBlocksOfAnyLength)
{
    // Through the processor prepared for 512-sample blocks, fed blocks of every length up to it.
    ProcessorHarness h (2);
    std::mt19937 rng (3);
    const int length = 40000;
    std::array<std::vector<float>, 2> stream;
    for (auto& s : stream)
    {
        s.assign (TruePeakMeter::carried, 0.0f);   // the silence before the first block
        const auto v = noise (rng, length);
        s.insert (s.end(), v.begin(), v.end());
    }
    stream[1][5000] = std::numeric_limits<float>::quiet_NaN();
    stream[1][5001] = 40.0f;   // the NaN's neighbours still count

    std::uniform_int_distribution<int> blockLength (0, 512);
    for (int start = 0, block = 0; start < length; ++block)
    {
        const int n = std::min (block < 40 ? block % 14 : blockLength (rng), length - start);
        juce::AudioBuffer<float> buffer (2, n);
        for (int c = 0; c < 2; ++c)
            buffer.copyFrom (c, 0, stream[(size_t) c].data() + TruePeakMeter::carried + start, n);
        h->GetTruePeak (buffer, 1);

        for (int c = 0; c < 2; ++c)
        {
            const float peak = TruePeakMeter::plainPeak (stream[(size_t) c].data() + TruePeakMeter::carried + start, n);
            ASSERT_EQ (h->meterLevels[2 + c], 20.0f * std::log10 (peak)) << "block " << block << " of " << n;
        }
        start += n;
    }
}
