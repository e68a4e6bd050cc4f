// The level meter's tick: which level each bar shows, the over holds and their readouts, the
// fall limit of the paint, the timer's two rates, and the masks over the strips.

#include "EditorHarness.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
constexpr float silence = -std::numeric_limits<float>::infinity();

struct Meter : ::testing::Test
{
    EditorHarness h;
    VolumeMeter* meter = nullptr;

    void SetUp() override
    {
        // The processor has measured silence, should the meter's own timer tick in between.
        juce::AudioBuffer<float> quiet (2, 512);
        quiet.clear();
        h.host.process (quiet);
        meter = &h.open().ioSegment.volumeMeter;
        meter->stopTimer();   // the tests tick the meter themselves
    }

    void paintMeter()
    {
        juce::Image image (juce::Image::ARGB, 150, 410, true);
        juce::Graphics g (image);
        meter->paint (g);
    }
};

TEST_F (Meter, BarsShowTheLouderOfTwoTicksClampedToTheScale)
{
    meter->tick ({ -12.0f, 3.0f, -80.0f, silence });
    EXPECT_FLOAT_EQ (meter->shownLevels[0], -12.0f);
    EXPECT_FLOAT_EQ (meter->shownLevels[1], 0.0f);
    EXPECT_FLOAT_EQ (meter->shownLevels[2], -60.0f);
    EXPECT_FLOAT_EQ (meter->shownLevels[3], -60.0f);

    // A one-tick spike stays for a second tick, then goes.
    meter->tick ({ -40.0f, -40.0f, -40.0f, -40.0f });
    EXPECT_FLOAT_EQ (meter->shownLevels[0], -12.0f);
    meter->tick ({ -40.0f, -40.0f, -40.0f, -40.0f });
    EXPECT_FLOAT_EQ (meter->shownLevels[0], -40.0f);
}

TEST_F (Meter, PaintLimitsEachFallToOneAndAHalfDecibels)
{
    meter->tick ({ 0.0f, 0.0f, -1.0f, -10.0f });
    paintMeter();
    meter->tick ({ -60.0f, -60.0f, -60.0f, -10.5f });
    paintMeter();
    meter->tick ({ -60.0f, -60.0f, -60.0f, -10.5f });
    paintMeter();

    EXPECT_FLOAT_EQ (meter->shownLevels[0], -1.5f);    // held at 0 for a tick, then 1.5 dB down
    EXPECT_FLOAT_EQ (meter->shownLevels[2], -2.5f);
    EXPECT_FLOAT_EQ (meter->shownLevels[3], -10.5f);   // a fall under 1.5 dB shows at once

    int paints = 0;
    while (meter->shownLevels[0] > -60.0f && paints < 100)
    {
        meter->tick ({ -60.0f, -60.0f, -60.0f, -60.0f });
        paintMeter();
        ++paints;
    }
    EXPECT_EQ (paints, 39);                              // 40 falling paints from 0 dB in all

    meter->tick ({ -3.0f, -60.0f, -60.0f, -60.0f });
    paintMeter();
    EXPECT_FLOAT_EQ (meter->shownLevels[0], -3.0f);    // a rise shows at once
}

TEST_F (Meter, HoldsKeepOversUntilTheirReadoutIsClicked)
{
    meter->tick ({ 1.3f, silence, -6.0f, 0.0f });
    meter->tick ({ -20.0f, -20.0f, -20.0f, -20.0f });
    EXPECT_FLOAT_EQ (meter->inputPeak, 1.3f);
    EXPECT_FLOAT_EQ (meter->outputPeak, 0.0f);

    // Only a hold above 0 dB shows, in red over its fader.
    auto image = h.paint();
    const auto redIn = [&] (int x0)
    {
        for (int y = 57; y < 80; ++y)
            for (int x = x0; x < x0 + 69; ++x)
                if (const auto c = image.getPixelAt (x, y); c.getRed() > 180 && c.getGreen() < 80)
                    return true;
        return false;
    };
    EXPECT_TRUE (redIn (38 - 4));
    EXPECT_FALSE (redIn (38 + 73));

    meter->inputPeakButton.triggerClick();
    h.pump();
    EXPECT_FLOAT_EQ (meter->inputPeak, -60.0f);
    image = h.paint();
    EXPECT_FALSE (redIn (38 - 4));

    meter->outputPeakButton.triggerClick();
    h.pump();
    EXPECT_FLOAT_EQ (meter->outputPeak, -60.0f);
}

TEST_F (Meter, MonoShowsInputAndOutputOnTheFirstTwoBars)
{
    meter->tick ({ -10.0f, 2.0f });
    EXPECT_FLOAT_EQ (meter->shownLevels[0], -10.0f);
    EXPECT_FLOAT_EQ (meter->shownLevels[1], 0.0f);
    EXPECT_FLOAT_EQ (meter->shownLevels[2], -60.0f);
    EXPECT_FLOAT_EQ (meter->shownLevels[3], -60.0f);
    EXPECT_FLOAT_EQ (meter->inputPeak, 2.0f);      // the left readout holds overs of either
    EXPECT_FLOAT_EQ (meter->outputPeak, -60.0f);
}

TEST_F (Meter, EmptyLevelsChangeNoBarButTheRateRuleRuns)
{
    meter->tick ({ -10.0f, -10.0f, -10.0f, -10.0f });
    meter->tick ({});
    EXPECT_FLOAT_EQ (meter->barLevels[0].current, -10.0f);
    EXPECT_FLOAT_EQ (meter->shownLevels[0], -10.0f);
    EXPECT_EQ (meter->quietTicks, 0);             // the previous tick's -10 dB counted as loud
}

TEST_F (Meter, TimerRunsFastAfterTheFirstTickAndSlowsAfterFortyFiveQuietTicks)
{
    EXPECT_EQ (h->ioSegment.volumeMeter.fastRate, 0);
    meter->startTimer (VolumeMeter::slowIntervalMs);

    meter->tick ({ -70.0f, -70.0f, -70.0f, -70.0f });
    EXPECT_EQ (meter->getTimerInterval(), 50);
    EXPECT_EQ (meter->fastRate, 1);

    for (int i = 2; i < 45; ++i)
        meter->tick ({ -70.0f, 0.0f, 0.0f, 0.0f });   // loud output, quiet input
    EXPECT_EQ (meter->getTimerInterval(), 50);

    meter->tick ({ -70.0f, 0.0f, 0.0f, 0.0f });
    EXPECT_EQ (meter->quietTicks, 45);
    EXPECT_EQ (meter->getTimerInterval(), 333);

    // The test value is one tick late: the loud tick itself does not speed it up, the next does.
    meter->tick ({ -20.0f, -20.0f, -20.0f, -20.0f });
    EXPECT_EQ (meter->getTimerInterval(), 333);
    meter->tick ({ -20.0f, -20.0f, -20.0f, -20.0f });
    EXPECT_EQ (meter->getTimerInterval(), 50);
    EXPECT_EQ (meter->quietTicks, 0);
}

TEST_F (Meter, TimerReadsTheProcessorsLevels)
{
    meter->startTimer (VolumeMeter::slowIntervalMs);
    auto buffer = h.host.sineBlock (512, 0.5f);
    h.host.process (buffer);
    h.pump (700);

    EXPECT_EQ (meter->fastRate, 1);
    EXPECT_NEAR (meter->barLevels[0].current, 20.0f * std::log10 (0.5f), 0.5f);
}

TEST_F (Meter, MasksHideTheStripsAboveTheShownLevel)
{
    // Strip x = column x 26 + 38; the top of a bar at -20 dB sits 103 pixels below 0 dB.
    meter->tick ({ -20.0f, -60.0f, 0.0f, -60.0f });
    const auto image = h.paint();
    const int zeroDbY = 57 + 40;

    EXPECT_TRUE (isLitOrange (image.getPixelAt (64 + 2, zeroDbY + 103 + 20)));
    EXPECT_TRUE (isWindowColour (image.getPixelAt (64 + 2, zeroDbY + 103 - 20)));
    EXPECT_TRUE (isWindowColour (image.getPixelAt (70 + 2, zeroDbY + 250)));   // at -60, all hidden
    EXPECT_FALSE (isWindowColour (image.getPixelAt (141 + 2, zeroDbY + 5)));   // at 0, all shown
}
} // namespace
