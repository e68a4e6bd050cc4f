// The per-block road: block lengths, how a control change glides, the gain stages, bypass, mono,
// and recovery from garbage input.

#include "ProcessorHarness.h"

#include <gtest/gtest.h>

#include <random>

namespace
{
/** Feeds the same signal through a harness in blocks of the given lengths; returns the output. */
std::vector<float> run (ProcessorHarness& h, const std::vector<int>& lengths)
{
    std::vector<float> out;
    for (const int length : lengths)
    {
        const auto block = h.process (h.sineBlock (length));
        out.insert (out.end(), block.getReadPointer (0), block.getReadPointer (0) + length);
    }
    return out;
}
} // namespace

TEST (BlockRoad, EmptyBlocksDoNothing)
{
    ProcessorHarness h;
    juce::AudioBuffer<float> empty (2, 0);
    h->processBlock (empty, h.midi);
    EXPECT_EQ (h->meterLevels.copy(), (std::vector<float> (4, MeterLevels::unmeasured)));
}

TEST (BlockRoad, BlockLengthsDoNotChangeTheSound)
{
    // Any length up to the prepared one, and a longer one served in pieces, carry every history
    // over: the output is the fixed-length run's.
    std::mt19937 random (7);
    std::vector<int> fixed (40, 512), varied;
    int total = 0;
    while (total < 40 * 512 - 2048)
    {
        const int length = random() % 4 == 0 ? 1 + (int) (random() % 512) : 512;
        varied.push_back (length);
        total += length;
    }
    varied.push_back (1536);   // past the promise of 512
    varied.push_back (40 * 512 - total - 1536);

    ProcessorHarness a (2, 48000.0, 512), b (2, 48000.0, 512);
    const auto reference = run (a, fixed);
    const auto out = run (b, varied);

    float worst = 0.0f;
    for (size_t i = 0; i < reference.size(); ++i)
        worst = std::max (worst, std::abs (out[i] - reference[i]));
    EXPECT_LT (worst, 1e-4f);
    EXPECT_GT (*std::max_element (out.begin(), out.end()), 0.1f);
}

TEST (BlockRoad, AControlChangeGlidesAcrossOneBlock)
{
    // The stage against a plain run of the cell through the glide's matrices, for several lengths.
    for (const int n : { 1, 2, 3, 700 })
    {
        SCOPED_TRACE (n);
        TovaniAudioProcessor p;
        auto& stage = p.road.network;
        stage.prepare (false, 2, 0.2f, 0.0f);

        NetworkStage::Subnet subnet = stage.subnet96;
        NetworkStage::HyperGRU cell = stage.gru96;
        cell.reset (2, n);

        std::vector<float> left ((size_t) n), right ((size_t) n);
        for (int t = 0; t < n; ++t)
        {
            left[(size_t) t] = 0.3f * std::sin (0.05f * t);
            right[(size_t) t] = 0.2f * std::cos (0.03f * t);
        }

        float* channels[2] = { left.data(), right.data() };
        std::vector<float> expectedLeft (left), expectedRight (right);
        stage.process (channels, n, 0.2f, 0.5f);

        Eigen::MatrixXf fromIh = subnet.weightIh, fromHh = subnet.weightHh;
        subnet.forward (0.2f, 0.5f);
        std::vector<Eigen::MatrixXf> ihRamp, hhRamp;
        Tovani::interpolateMatrix (fromIh, subnet.weightIh, n, ihRamp);
        Tovani::interpolateMatrix (fromHh, subnet.weightHh, n, hhRamp);

        for (int t = 0; t < n; ++t)
        {
            cell.input (0, 0) = expectedLeft[(size_t) t];
            cell.input (0, 1) = expectedRight[(size_t) t];
            cell.forward_cell (cell.input, ihRamp[(size_t) t], hhRamp[(size_t) t]);
            EXPECT_NEAR (left[(size_t) t], cell.output (0, 0), 1e-6f) << "step " << t;
            EXPECT_NEAR (right[(size_t) t], cell.output (0, 1), 1e-6f) << "step " << t;
        }

        EXPECT_EQ (stage.activeSubnet().weightHh, subnet.weightHh);
        EXPECT_EQ (stage.lastDepthControl, 0.5f);
    }
}

TEST (BlockRoad, GainChangesRampOverOneBlockThenHold)
{
    ProcessorHarness h;
    h.process (h.sineBlock (512));

    h.setParameter ("Input Gain", -6.0f);
    juce::AudioBuffer<float> ones (2, 512);
    for (int c = 0; c < 2; ++c)
        juce::FloatVectorOperations::fill (ones.getWritePointer (c), 1.0f, 512);

    // The input meter sees the ramped signal: the block's first samples near full scale.
    h.process (ones);
    EXPECT_GT (h->meterLevels[0], -0.5f);

    h.process (ones);
    h.process (ones);   // now flat at -6 dB, carried samples included
    EXPECT_NEAR (h->meterLevels[0], 20.0f * std::log10 (0.501187f * 1.0015869f), 0.01f);
}

TEST (BlockRoad, BypassFadesToTheDelayedInputAndBackWithoutTouchingTheMeters)
{
    ProcessorHarness h;
    h.process (h.sineBlock (512));
    const int latency = h->getLatencySamples();
    ASSERT_GT (latency, 0);

    h.setParameter ("Bypass", 1.0f);
    h.process (h.sineBlock (512));   // the fade
    const auto levels = h->meterLevels.copy();

    // Once faded, the output is the input, delayed by the reported latency.
    std::vector<float> in, out;
    for (int b = 0; b < 3; ++b)
    {
        auto block = h.sineBlock (300);
        in.insert (in.end(), block.getReadPointer (0), block.getReadPointer (0) + 300);
        block = h.process (block);
        out.insert (out.end(), block.getReadPointer (0), block.getReadPointer (0) + 300);
    }
    for (size_t i = (size_t) latency; i < out.size(); ++i)
        ASSERT_EQ (out[i], in[i - (size_t) latency]) << i;
    EXPECT_EQ (h->meterLevels.copy(), levels);

    h.setParameter ("Bypass", 0.0f);
    h.process (h.sineBlock (512));
    EXPECT_NE (h->meterLevels.copy(), levels);
}

TEST (BlockRoad, MonoRunsChannelZeroOnly)
{
    ProcessorHarness h (1);
    for (int b = 0; b < 2; ++b)   // past the road's delay
        h.process (h.sineBlock (512));
    const auto out = h.process (h.sineBlock (512));
    EXPECT_EQ (out.getNumChannels(), 1);
    EXPECT_EQ (h->meterLevels.size(), 2);
    EXPECT_EQ (h->road.network.activeGru().numChannels, 1);
    EXPECT_EQ (h->road.network.activeGru().input (0, 1), 0.0f);
    EXPECT_GT (peakOf (out, 0), 0.01f);
    EXPECT_GT (h->meterLevels[0], -20.0f);
    EXPECT_GT (h->meterLevels[1], -40.0f);
}

TEST (BlockRoad, RecoversFromAnyInputWithinFiftyMilliseconds)
{
    // NaN, infinity, samples near the float limit and random bit patterns, then a clean sine: after
    // 50 ms the output is that of an instance that never saw the garbage.
    std::mt19937 random (3);
    for (const int kind : { 0, 1, 2 })
    {
        SCOPED_TRACE (kind);
        ProcessorHarness hit, clean;
        hit.process (hit.sineBlock (512));
        clean.process (clean.sineBlock (512));

        auto garbage = hit.sineBlock (512);
        clean.process (clean.sineBlock (512));
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i)
            {
                float& x = garbage.getWritePointer (c)[i];
                if (kind == 0 && i % 100 == 0)
                    x = i % 200 == 0 ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
                if (kind == 1 && i % 50 == 0)
                    x = (i % 100 == 0 ? 1.0f : -1.0f) * 3e38f;
                if (kind == 2)
                {
                    const auto bits = (uint32_t) random();
                    std::memcpy (&x, &bits, sizeof x);
                }
            }
        hit.process (garbage);

        for (int b = 0; b < 5; ++b)   // 53 ms at 48 kHz
        {
            hit.process (hit.sineBlock (512));
            clean.process (clean.sineBlock (512));
        }

        const auto a = hit.process (hit.sineBlock (512));
        const auto b = clean.process (clean.sineBlock (512));
        ASSERT_TRUE (allFinite (a));
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i)
                ASSERT_NEAR (a.getSample (c, i), b.getSample (c, i), 1e-3f) << c << ", " << i;
    }
}
