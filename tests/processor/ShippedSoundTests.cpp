// The shipped weight sets, heard through the whole processor as a host runs it: does the
// trained sound do what the controls promise?

#include "ProcessorHarness.h"
#include "support/ShippedModels.h"

#include <processor/Parameters.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
constexpr int blockLength = 512;

struct Setting
{
    float depth;
    float depthEq;
    bool eqOn = true;
};

ProcessorHarness preparedAt (double hostRate, Setting setting)
{
    ProcessorHarness harness (2, hostRate, blockLength);
    harness.setParameter (ParameterIDs::depth, setting.depth);
    harness.setParameter (ParameterIDs::depthEq, setting.depthEq);
    harness.setParameter (ParameterIDs::depthEqSwitch, setting.eqOn ? 1.0f : 0.0f);
    return harness;
}

/** Runs a whole signal (one vector per channel) through in host-sized blocks. */
std::vector<std::vector<float>> run (ProcessorHarness& harness, const std::vector<std::vector<float>>& input)
{
    const auto length = (int) input[0].size();
    std::vector<std::vector<float>> output (input.size(), std::vector<float> ((size_t) length));
    for (int start = 0; start < length; start += blockLength)
    {
        const int n = std::min (blockLength, length - start);
        juce::AudioBuffer<float> block ((int) input.size(), n);
        for (size_t c = 0; c < input.size(); ++c)
            block.copyFrom ((int) c, 0, input[c].data() + start, n);
        block = harness.process (std::move (block));
        for (size_t c = 0; c < input.size(); ++c)
            std::copy_n (block.getReadPointer ((int) c), n, output[c].data() + start);
    }
    return output;
}

double rms (const std::vector<float>& x, size_t from, size_t to)
{
    double sum = 0.0;
    for (auto i = from; i < to; ++i)
        sum += (double) x[i] * x[i];
    return std::sqrt (sum / double (to - from));
}

/** Steady-state gain in dB of a sine at the given level, in the left channel. */
double gainAt (double hostRate, Setting setting, double frequency, double levelDb = -30.0)
{
    auto harness = preparedAt (hostRate, setting);
    const auto settle = (size_t) (0.25 * hostRate);
    const auto cycles = std::max (20.0, std::ceil (frequency * 0.1));
    const auto measured = (size_t) std::round (cycles * hostRate / frequency);
    std::vector<std::vector<float>> input (2, std::vector<float> (settle + measured));
    const auto amplitude = std::pow (10.0, levelDb / 20.0);
    for (size_t i = 0; i < input[0].size(); ++i)
        input[0][i] = input[1][i] = (float) (amplitude * std::sin (juce::MathConstants<double>::twoPi * frequency * (double) i / hostRate));
    const auto output = run (harness, input);
    return 20.0 * std::log10 (rms (output[0], settle, settle + measured) / rms (input[0], settle, settle + measured));
}

double focusFrequency (float depthEq) { return 100.0 * std::pow (100.0, (depthEq - 1.0) / 3.0); }

std::vector<float> noise (size_t length, float amplitude, unsigned seed)
{
    std::mt19937 generator (seed);
    std::uniform_real_distribution<float> uniform (-amplitude, amplitude);
    std::vector<float> x (length);
    for (auto& v : x)
        v = uniform (generator);
    return x;
}

const std::vector<Setting> extremes {
    { 15.0f, 1.0f }, { 15.0f, 4.0f }, { -15.0f, 1.0f }, { -15.0f, 4.0f }, { 15.0f, 2.5f, false }, { -15.0f, 2.5f, false },
};
} // namespace

TEST (ShippedSound, DepthZeroIsTransparentAtOrdinaryLevels)
{
    // Above about 0.3 of the host rate the resampling chain itself rolls off (at 48 kHz: -0.6 dB
    // at 16 kHz, -2 dB at 20 kHz); what is checked here is the network's own flatness.
    for (const double hostRate : { 48000.0, 96000.0 })
        for (double f = 30.0; f <= std::min (20000.0, 0.3 * hostRate); f *= 1.6)
        {
            SCOPED_TRACE (testing::Message() << hostRate << " Hz host, " << f << " Hz");
            EXPECT_NEAR (gainAt (hostRate, { 0.0f, 3.0f }, f, -18.0), 0.0, 1.0);
        }
}

TEST (ShippedSound, DepthForwardBoostsTheFocusAndLeavesTheRestAlone)
{
    for (const double hostRate : { 48000.0, 96000.0 })
        for (const float depthEq : { 1.0f, 3.0f, 4.0f })
        {
            const auto fc = focusFrequency (depthEq);
            SCOPED_TRACE (testing::Message() << hostRate << " Hz host, Depth EQ " << depthEq);
            EXPECT_GE (gainAt (hostRate, { 15.0f, depthEq }, fc) - gainAt (hostRate, { 0.0f, depthEq }, fc), 4.0);

            // Three octaves away, where the focus no longer reaches.
            for (const double away : { fc / 8.0, fc * 8.0 })
                if (away >= 30.0 && away <= 0.3 * hostRate)
                    EXPECT_NEAR (gainAt (hostRate, { 15.0f, depthEq }, away) - gainAt (hostRate, { 0.0f, depthEq }, away), 0.0, 2.0)
                        << away << " Hz";
        }
}

TEST (ShippedSound, DepthBackDullsTheHighs)
{
    for (const double hostRate : { 48000.0, 192000.0 })
        for (const Setting back : { Setting { -15.0f, 1.0f }, Setting { -15.0f, 3.0f }, Setting { -15.0f, 4.0f }, Setting { -15.0f, 2.5f, false } })
        {
            SCOPED_TRACE (testing::Message() << hostRate << " Hz host, Depth EQ " << back.depthEq << (back.eqOn ? "" : " (off)"));
            const Setting level { 0.0f, back.depthEq, back.eqOn };
            EXPECT_LT (gainAt (hostRate, back, 10000.0) - gainAt (hostRate, level, 10000.0), -2.0);
        }
}

TEST (ShippedSound, TheChannelsStayApart)
{
    for (const double hostRate : { 44100.0, 192000.0 })
        for (const auto& setting : extremes)
        {
            auto harness = preparedAt (hostRate, setting);
            const auto length = (size_t) hostRate / 2;
            const auto output = run (harness, { noise (length, 0.5f, 3), std::vector<float> (length) });
            SCOPED_TRACE (testing::Message() << hostRate << " Hz host, Depth " << setting.depth << ", EQ " << setting.depthEq);
            EXPECT_LT (rms (output[1], 0, length), rms (output[0], 0, length) * 0.01);
        }
}

TEST (ShippedSound, SilenceAfterALoudBurstDiesAway)
{
    // A network whose recurrence has a pole outside the unit circle at some setting would ring
    // on, or settle on a constant, after the signal stops.
    for (const double hostRate : { 48000.0, 192000.0 })
        for (const auto& setting : extremes)
        {
            auto harness = preparedAt (hostRate, setting);
            const auto burst = (size_t) hostRate / 4, after = (size_t) hostRate;
            auto left = noise (burst, 1.0f, 4), right = noise (burst, 1.0f, 5);
            left.resize (burst + after);
            right.resize (burst + after);
            const auto output = run (harness, { left, right });
            SCOPED_TRACE (testing::Message() << hostRate << " Hz host, Depth " << setting.depth << ", EQ " << setting.depthEq);
            for (int c = 0; c < 2; ++c)
            {
                float tail = 0.0f;
                for (auto i = burst + after / 2; i < burst + after; ++i)
                    tail = std::max (tail, std::abs (output[(size_t) c][i]));
                EXPECT_LT (20.0 * std::log10 (tail + 1e-30), -90.0);
            }
        }
}

namespace
{
/** What the network can output at most: its states are bounded by tanh to [-1, 1], so each
    channel is bounded by the sum of its read-out weights' magnitudes. */
float readOutBound()
{
    float bound = 0.0f;
    for (const auto& model : shippedModels())
    {
        const auto weights = model.parse()["linear_out.weight"].get<std::vector<float>>();
        for (size_t channel = 0; channel < 2; ++channel)
        {
            float sum = 0.0f;
            for (size_t unit = 0; unit < 12; ++unit)
                sum += std::abs (weights[channel * 12 + unit]);
            bound = std::max (bound, sum);
        }
    }
    return bound;
}
} // namespace

TEST (ShippedSound, FullScaleNoiseStaysFiniteAndBounded)
{
    // Full-scale noise may come out up to 12 dB hotter (a +9 dB focus on top of it); driven
    // 20 dB past full scale, the output may saturate anywhere up to what the network can reach,
    // plus a little overshoot from the resampling filters, but no further.
    const float driven = 1.1f * readOutBound();
    for (const float inputGain : { 0.0f, 20.0f })
        for (const auto& setting : extremes)
        {
            auto harness = preparedAt (48000.0, setting);
            harness.setParameter (ParameterIDs::inputGain, inputGain);
            const auto output = run (harness, { noise (48000, 1.0f, 6), noise (48000, 1.0f, 7) });
            SCOPED_TRACE (testing::Message() << "Input Gain " << inputGain << ", Depth " << setting.depth << ", EQ " << setting.depthEq);
            const float bound = inputGain > 0.0f ? driven : 4.0f;
            for (const auto& channel : output)
                for (const auto v : channel)
                {
                    ASSERT_TRUE (std::isfinite (v));
                    ASSERT_LT (std::abs (v), bound);
                }
        }
}
