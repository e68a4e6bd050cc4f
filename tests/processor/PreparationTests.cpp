// Preparation: the model and rate chosen for the host, the sizes, the kernel, the low-pass.

#include "ProcessorHarness.h"

#include <gtest/gtest.h>

TEST (Preparation, ChoosesModelRateAndBlockSizeByHostRate)
{
    struct Row
    {
        double hostRate;
        int block, expectedN;
        double expectedModelRate;
    };
    const Row table[] = {
        { 44100, 441, 960, 96000 },    { 44100, 512, 1115, 96000 },  { 48000, 512, 1024, 96000 },
        { 48000.5, 512, 2048, 192000 }, { 88200, 512, 1115, 192000 }, { 96000, 512, 1024, 192000 },
        { 176400, 512, 558, 192000 },  { 192000, 512, 512, 192000 },  { 384000, 512, 256, 192000 },
    };

    TovaniAudioProcessor p;
    for (const auto& row : table)
    {
        SCOPED_TRACE (row.hostRate);
        p.prepareToPlay (row.hostRate, row.block);
        EXPECT_EQ (p.resampledBlockSize, row.expectedN);
        EXPECT_EQ (p.modelRate, row.expectedModelRate);
        EXPECT_EQ (p.useHighRateModel, row.expectedModelRate == 192000);
        EXPECT_EQ (p.modelBuffer.getNumSamples(), row.expectedN);
        EXPECT_EQ (p.activeGru().numSamples, row.expectedN);
        EXPECT_EQ (p.activeSubnet().weightHh.rows(), 12);
    }
}

namespace
{
double besselI0 (double x)
{
    // Abramowitz and Stegun, 9.8.1 and 9.8.2.
    const double ax = std::abs (x);
    if (ax < 3.75)
    {
        const double t = (x / 3.75) * (x / 3.75);
        return 1.0 + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813)))));
    }
    const double t = 3.75 / ax;
    return std::exp (ax) / std::sqrt (ax)
         * (0.39894228 + t * (0.01328592 + t * (0.00225319 + t * (-0.00157565 + t * (0.00916281
            + t * (-0.02057706 + t * (0.02635537 + t * (-0.01647633 + t * 0.00392377))))))));
}

std::vector<double> expectedLowPass (double hostRate, double modelRate)
{
    const double beta = (double) 3.3953211f;
    const double fc = (double) (float) (hostRate * 0.5) / modelRate;
    std::vector<double> taps (46);

    for (int i = 0; i < 46; ++i)
    {
        const double offset = i - 22.5;
        const double sinc = i == 22 ? 2.0 * fc : std::sin (2.0 * juce::MathConstants<double>::pi * fc * offset)
                                                     / (juce::MathConstants<double>::pi * offset);
        const double window = besselI0 (beta * std::sqrt (1.0 - (offset / 22.5) * (offset / 22.5))) / besselI0 (beta);
        taps[(size_t) i] = (double) (float) sinc * window;
    }
    return taps;
}
} // namespace

TEST (Preparation, DesignsTheFortySixTapLowPass)
{
    EXPECT_NEAR (1.0 / besselI0 ((double) 3.3953211f), 0.14796534236914616, 1e-12);

    TovaniAudioProcessor p;
    for (const double rate : { 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 })
    {
        SCOPED_TRACE (rate);
        p.prepareToPlay (rate, 512);
        const auto& coefficients = p.antiAliasFilter.state->coefficients;
        const auto expected = expectedLowPass (rate, p.modelRate);
        ASSERT_EQ (coefficients.size(), 46);

        for (int i = 0; i < 46; ++i)
            EXPECT_NEAR (coefficients[i], expected[(size_t) i], 2e-7) << "tap " << i;
    }

    EXPECT_NEAR ((float) (44100.0 * 0.5) / 96000.0, 0.2296875, 1e-12);
    EXPECT_NEAR ((float) (176400.0 * 0.5) / 192000.0, 0.459375, 1e-12);
}

TEST (Preparation, TheKernelRunsReversedAndCausal)
{
    TovaniAudioProcessor p;
    p.prepareToPlay (48000.0, 4096);   // N = 8192: room for the whole response
    const auto kernel = p.modelJson96["conv_in.weight"].get<std::vector<float>>();

    juce::AudioBuffer<float> impulse (2, p.resampledBlockSize);
    impulse.clear();
    impulse.setSample (0, 0, 1.0f);
    juce::dsp::AudioBlock<float> block (impulse);
    p.convolution.process (juce::dsp::ProcessContextReplacing<float> (block));

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
    EXPECT_EQ (mono->truePeakHistory.getNumChannels(), 2);
    EXPECT_EQ (mono->truePeakHistory.getNumSamples(), 512 + 12);

    ProcessorHarness stereo (2);
    EXPECT_EQ (stereo->meterLevels.size(), 4);
    EXPECT_EQ (stereo->truePeakHistory.getNumChannels(), 4);

    // The same preparation again keeps the histories and levels but restarts the network.
    stereo.process (stereo.sineBlock (512));
    const auto levels = stereo->meterLevels.copy();
    const auto tail = stereo->truePeakHistory.getSample (0, 520);
    ASSERT_FALSE (stereo->activeGru().hidden.isZero());
    stereo->prepareToPlay (48000.0, 512);
    EXPECT_EQ (stereo->meterLevels.copy(), levels);
    EXPECT_EQ (stereo->truePeakHistory.getSample (0, 520), tail);
    EXPECT_TRUE (stereo->activeGru().hidden.isZero());
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

    EXPECT_NEAR (p.prevInputGain, 0.501187f, 1e-6f);
    EXPECT_EQ (p.prevOutputGain, 1.0f);
    EXPECT_EQ (p.lastDepthEqControl, 0.0f);   // the switch is off, whatever Depth EQ holds

    TovaniAudioProcessor::Subnet reference;
    reference.loadParams (p.modelJson96);
    reference.forward (0.0f, 0.0f);
    EXPECT_EQ (p.subnet96.weightHh, reference.weightHh);
}
