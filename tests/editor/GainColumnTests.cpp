// The two gain faders, their thumbs and the IO link between them.

#include "EditorHarness.h"

#include <gtest/gtest.h>

namespace
{
struct GainColumn : ::testing::Test
{
    EditorHarness h;
    TovaniAudioProcessorEditor* e = nullptr;
    juce::Slider* input = nullptr;
    juce::Slider* output = nullptr;

    void SetUp() override
    {
        e = &h.open();
        input = &e->ioSegment.inputSlider;
        output = &e->ioSegment.outputSlider;
    }

    void link (bool on)
    {
        e->ioSegment.linkToggleBtn.setToggleState (on, juce::sendNotification);
    }

    /** A user's drag: the fader's value changes inside a gesture and its listeners hear of it at once. */
    static void drag (juce::Slider& slider, double value)
    {
        const juce::Slider::ScopedDragNotification gesture (slider);
        slider.setValue (value, juce::sendNotificationSync);
    }
};

TEST_F (GainColumn, LinkMovesTheOtherFaderOppositelyAndSettlesWithoutPingPong)
{
    link (true);
    EXPECT_FLOAT_EQ (h.parameter ("IO Link Switch"), 1.0f);

    drag (*input, 3.0);
    EXPECT_DOUBLE_EQ (output->getValue(), -3.0);
    EXPECT_DOUBLE_EQ (e->lastInput, 3.0);
    EXPECT_DOUBLE_EQ (e->lastOutput, -3.0);

    // The compensating move's own notification arrives later and changes nothing further.
    h.pump (50);
    EXPECT_DOUBLE_EQ (input->getValue(), 3.0);
    EXPECT_DOUBLE_EQ (output->getValue(), -3.0);
    EXPECT_FLOAT_EQ (h.parameter ("Input Gain"), 3.0f);
    EXPECT_FLOAT_EQ (h.parameter ("Output Gain"), -3.0f);

    drag (*output, -1.0);
    h.pump (50);
    EXPECT_DOUBLE_EQ (input->getValue(), 1.0);
    EXPECT_FLOAT_EQ (h.parameter ("Input Gain"), 1.0f);
}

TEST_F (GainColumn, LinkStopsTheOtherFaderAtItsEndWithoutPullingBack)
{
    drag (*output, -20.0);
    link (true);

    drag (*input, 2.0);
    h.pump (50);
    EXPECT_DOUBLE_EQ (output->getValue(), -20.0);
    EXPECT_DOUBLE_EQ (input->getValue(), 2.0);
    EXPECT_DOUBLE_EQ (e->lastOutput, -20.0);

    // Lowering the input again moves the output up by the same amount from where it stopped.
    drag (*input, 1.0);
    h.pump (50);
    EXPECT_DOUBLE_EQ (output->getValue(), -19.0);
}

TEST_F (GainColumn, WithoutLinkFadersMoveAloneButTheStoredValuesFollowBoth)
{
    drag (*input, 5.0);
    drag (*output, -2.0);
    h.pump (50);
    EXPECT_DOUBLE_EQ (output->getValue(), -2.0);
    EXPECT_DOUBLE_EQ (e->lastInput, 5.0);
    EXPECT_DOUBLE_EQ (e->lastOutput, -2.0);

    // Switching the link on later makes no jump; the next move is compensated from there.
    link (true);
    h.pump (50);
    EXPECT_DOUBLE_EQ (input->getValue(), 5.0);
    drag (*input, 6.0);
    EXPECT_DOUBLE_EQ (output->getValue(), -3.0);
}

TEST_F (GainColumn, HostChangesAreNeverEchoedOntoTheOtherGain)
{
    // A host writing Input then Output gets exactly those values back, window open or not.
    link (true);
    h.setParameter ("Input Gain", -6.0f);
    h.pump (50);
    h.setParameter ("Output Gain", 2.0f);
    h.pump (50);

    EXPECT_FLOAT_EQ (h.parameter ("Input Gain"), -6.0f);
    EXPECT_FLOAT_EQ (h.parameter ("Output Gain"), 2.0f);
    EXPECT_DOUBLE_EQ (output->getValue(), 2.0);

    // The link still follows the next drag, from where the host left both faders.
    drag (*input, -5.0);
    h.pump (50);
    EXPECT_FLOAT_EQ (h.parameter ("Output Gain"), 1.0f);
}

TEST_F (GainColumn, ThumbRunsLinearlyOverTheFaderAndShowsOneDecimal)
{
    auto& laf = e->ioSegment.ioSliderLaF;
    drag (*input, -20.0);
    EXPECT_EQ (laf.thumbPosition (*input), juce::Point<int> (-2, 273));
    drag (*input, 0.0);
    EXPECT_EQ (laf.thumbPosition (*input), juce::Point<int> (-2, 134));
    drag (*input, 20.0);
    EXPECT_EQ (laf.thumbPosition (*input), juce::Point<int> (-2, -5));

    // The fader's layout leaves the framework a track inside the fader for mouse handling.
    const auto layout = laf.getSliderLayout (*input);
    EXPECT_EQ (layout.sliderBounds, juce::Rectangle<int> (15, 30, 22, 268));
    EXPECT_TRUE (layout.textBoxBounds.isEmpty());

    // The thumb is drawn where the layout says, with its text in white.
    drag (*input, 0.0);
    const auto image = h.paint();
    const int thumbTop = 57 + 33 + 134;
    EXPECT_FALSE (isWindowColour (image.getPixelAt (50, thumbTop + 20)));
    EXPECT_TRUE (isWindowColour (image.getPixelAt (50, thumbTop - 60)));
}

TEST_F (GainColumn, LinkSwitchShowsItsStateAndTheParameterFollows)
{
    // A pixel on the switch's rim: lit while on, grey while off.
    const auto rim = [this] { return h.paint().getPixelAt (38 + 53 + 6, 57 + 160 + 20); };
    const auto off = rim();
    e->ioSegment.linkToggleBtn.triggerClick();
    h.pump();
    const auto on = rim();

    EXPECT_FLOAT_EQ (h.parameter ("IO Link Switch"), 1.0f);
    EXPECT_TRUE (isLitOrange (on));
    EXPECT_FALSE (isLitOrange (off));
}
} // namespace
