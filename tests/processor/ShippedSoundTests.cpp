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
            {
                if (away >= 30.0 && away <= 0.3 * hostRate)
                {
                    EXPECT_NEAR (gainAt (hostRate, { 15.0f, depthEq }, away) - gainAt (hostRate, { 0.0f, depthEq }, away), 0.0, 2.0)
                        << away << " Hz";
                }
            }
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

TEST (ShippedSound, AFixedInputGivesTheRecordedOutput)
{
    // Outputs recorded from an earlier build whose kernels were checked against the plain
    // arithmetic; a faster kernel must reproduce them to float rounding. (The 48 kHz run passes
    // through the resampler and was recorded again when its filters changed.) Two host rates (both
    // weight sets), stereo, with a Depth move halfway so that a glide is in the run. Every 331st
    // output of each channel.
    const std::vector<float> recorded[2] = {
        {
            2.23517418e-08f, -0.284310341f, 0.0371786244f, 0.326604515f, 0.120249659f,
            -0.241283834f, -0.208722457f, 0.177975073f, 0.26969862f, -0.0428838097f, -0.31234774f,
            -0.0672754645f, 0.246031269f, 0.173347861f, -0.198148713f, -0.292529285f, 0.0747686028f,
            0.27157101f, 0.0527453311f, -0.260751039f, -0.209837615f, 0.177052185f, 0.281736195f,
            -0.0414083712f, -0.311102659f, -0.0861528218f, 0.253553271f, 0.151555449f,
            -0.177660316f, -0.257411093f, 0.0870606601f, 0.301511407f, 0.0381372087f, -0.26704827f,
            -0.162679449f, 0.203463659f, 0.227374524f, -2.98023224e-08f, 0.26009196f, 0.145510614f,
            -0.111519679f, -0.26050368f, -0.166622013f, 0.0902718529f, 0.233974665f, 0.158785641f,
            -0.112238452f, -0.234648734f, -0.144534618f, 0.138583586f, 0.259509057f, 0.134464487f,
            -0.0963300467f, -0.240876555f, -0.0881769508f, 0.120213091f, 0.177257657f,
            0.00448764861f, -0.12576358f, -0.123817608f, -0.00454074144f, 0.139475554f,
            0.128717154f, -0.0065083988f, -0.105149113f, -0.118522875f, 0.0297461599f, 0.130504355f,
            0.0835151076f, -0.0419064239f, -0.140130579f, -0.0726538152f, 0.0540357605f,
            0.133544162f
        },
        {
            0.346511722f, 0.0861150175f, -0.342992753f, -0.273423851f, 0.272146881f, 0.344307929f,
            -0.101227537f, -0.409441561f, -0.0456030592f, 0.394486129f, 0.209837615f, -0.296715856f,
            -0.330844402f, 0.137907267f, 0.401042938f, -0.0206564963f, -0.351538181f, -0.162020072f,
            0.256027162f, 0.185738847f, -0.0403562933f, -0.170076251f, -0.0589224994f, 0.159944609f,
            0.136686265f, -0.129594013f, -0.173262447f, 0.0226841122f, 0.207355112f, 0.0379036516f,
            -0.165049821f, -0.102778479f, 0.0972272381f, 0.168073848f, -0.0676064193f,
            -0.179551631f, -0.0211433619f, -0.0306651294f, -0.209639847f, -0.150462851f,
            0.0765263364f, 0.198619887f, 0.131700084f, -0.0857843012f, -0.184067607f, -0.151223809f,
            0.0636818856f, 0.186140791f, 0.140095323f, -0.0865139812f, -0.190422446f, -0.136356086f,
            0.109408647f, 0.187652811f, 0.090972349f, -0.0646575913f, -0.148937672f, -0.112154953f,
            0.029925121f, 0.150676444f, 0.107888468f, -0.0601082444f, -0.151515156f, -0.110174447f,
            0.0545414984f, 0.153551161f, 0.0944032967f, -0.0710093379f, -0.183290333f,
            -0.0860233679f, 0.0753405094f, 0.166693673f, 0.0854302049f, -0.0938934982f
        },
    };
    constexpr int length = 24 * blockLength, every = 331;

    for (const int r : { 0, 1 })
    {
        const double hostRate = r == 0 ? 48000.0 : 192000.0;
        auto harness = preparedAt (hostRate, { 6.0f, 2.5f });
        std::vector<std::vector<float>> input (2, std::vector<float> (length));
        std::uint32_t noise = 12345u;
        for (int i = 0; i < length; ++i)
        {
            noise = noise * 1664525u + 1013904223u;
            const float hiss = 0.05f * ((float) (noise >> 8) / 16777216.0f - 0.5f);
            input[0][(size_t) i] = 0.3f * std::sin (0.0231f * (float) i) + hiss;
            input[1][(size_t) i] = 0.2f * std::sin (0.0917f * (float) i + 1.0f) - hiss;
        }

        std::vector<std::vector<float>> firstHalf (2), secondHalf (2);
        for (int c = 0; c < 2; ++c)
        {
            firstHalf[(size_t) c].assign (input[(size_t) c].begin(), input[(size_t) c].begin() + length / 2);
            secondHalf[(size_t) c].assign (input[(size_t) c].begin() + length / 2, input[(size_t) c].end());
        }
        auto output = run (harness, firstHalf);
        harness.setParameter (ParameterIDs::depth, -9.0f);
        const auto rest = run (harness, secondHalf);
        for (int c = 0; c < 2; ++c)
            output[(size_t) c].insert (output[(size_t) c].end(), rest[(size_t) c].begin(), rest[(size_t) c].end());

        std::vector<float> picked;
        for (int c = 0; c < 2; ++c)
            for (int i = every; i < length; i += every)
                picked.push_back (output[(size_t) c][(size_t) i]);

        ASSERT_EQ (picked.size(), recorded[r].size());
        for (size_t i = 0; i < picked.size(); ++i)
            EXPECT_NEAR (picked[i], recorded[r][i], 1e-6f) << hostRate << " Hz, value " << i;
    }
}

TEST (ShippedSound, BothWeightSetsSoundAlike)
{
    // Moving a session from 48 to 96 kHz swaps the weight set; the mix must not change.
    for (const auto& setting : extremes)
        for (double f = 40.0; f <= 16000.0; f *= 2.0)
        {
            SCOPED_TRACE (testing::Message() << "Depth " << setting.depth << ", EQ " << setting.depthEq << ", " << f << " Hz");
            EXPECT_NEAR (gainAt (48000.0, setting, f, -18.0), gainAt (96000.0, setting, f, -18.0), 1.0);
        }
}
