// The Depth knob: its value label (hover, text, typed values) and the lit track that the mask
// leaves over the ring artwork.

#include "EditorHarness.h"

#include <gtest/gtest.h>

namespace
{
struct DepthKnob : ::testing::Test
{
    EditorHarness h;
    DepthSegment* segment = nullptr;

    void SetUp() override { segment = &h.open().depthSegment; }

    void type (const juce::String& text)
    {
        // What committing an edit amounts to: new text, and the owner told at once.
        segment->sliderLabel.setText (text, juce::sendNotificationSync);
        h.pump (30);
    }

    /** Whether the track shows lit at a knob value, sampled mid-band in the window. */
    bool litAt (double value)
    {
        const auto a = DepthSegment::rotaryStart
                     + (value + 15.0) / 30.0 * (DepthSegment::rotaryEnd - DepthSegment::rotaryStart);
        const auto p = onCircle (225.0f + 135.5f, 103.0f + 135.5f, 112.5f, a);
        return isLitOrange (h.paint().getPixelAt (p.x, p.y));
    }
};

TEST_F (DepthKnob, LabelShowsOnHoverAndStaysWhilePointerIsOnIt)
{
    auto& label = segment->sliderLabel;
    auto& slider = segment->depthSlider;
    EXPECT_FALSE (label.isVisible());

    slider.mouseEnter (mouseEventFor (slider));
    EXPECT_TRUE (label.isVisible());

    // Moving onto the label: the knob's exit, then the label's enter.
    slider.mouseExit (mouseEventFor (slider));
    label.mouseEnter (mouseEventFor (label));
    EXPECT_TRUE (label.isVisible());
    label.mouseExit (mouseEventFor (label));
    EXPECT_TRUE (label.isVisible());

    slider.mouseExit (mouseEventFor (slider));
    EXPECT_FALSE (label.isVisible());
}

TEST_F (DepthKnob, LabelFollowsEveryValueChangeWithOneDecimal)
{
    EXPECT_EQ (segment->sliderLabel.getText(), "0.0");

    h.setParameter ("Depth", 3.0f);
    h.pump();
    EXPECT_EQ (segment->sliderLabel.getText(), "3.0");

    segment->depthSlider.setValue (-7.26, juce::sendNotificationSync);   // snapped to the 0.1 step
    EXPECT_EQ (segment->sliderLabel.getText(), "-7.3");
}

TEST_F (DepthKnob, TypedValuesAreReadClampedSnappedAndReformatted)
{
    type ("4.26");
    EXPECT_NEAR (segment->depthSlider.getValue(), 4.3, 1e-5);
    EXPECT_EQ (segment->sliderLabel.getText(), "4.3");
    EXPECT_NEAR (h.parameter ("Depth"), 4.3f, 1e-5f);

    type ("  -99 dB");
    EXPECT_DOUBLE_EQ (segment->depthSlider.getValue(), -15.0);
    EXPECT_EQ (segment->sliderLabel.getText(), "-15.0");

    type ("front");
    EXPECT_DOUBLE_EQ (segment->depthSlider.getValue(), 0.0);
    EXPECT_EQ (segment->sliderLabel.getText(), "0.0");
    EXPECT_FLOAT_EQ (h.parameter ("Depth"), 0.0f);

    // The same value typed without its decimal is still shown with one.
    type ("0");
    EXPECT_EQ (segment->sliderLabel.getText(), "0.0");
}

TEST_F (DepthKnob, TrackIsLitFromTheStartUpToTheValueOnly)
{
    h.setParameter ("Depth", 5.0f);
    h.pump();
    EXPECT_TRUE (litAt (-14.0));
    EXPECT_TRUE (litAt (4.0));
    EXPECT_FALSE (litAt (6.5));
    EXPECT_FALSE (litAt (14.0));

    h.setParameter ("Depth", -15.0f);
    h.pump();
    EXPECT_FALSE (litAt (-13.5));
    EXPECT_FALSE (litAt (0.0));

    h.setParameter ("Depth", 15.0f);
    h.pump();
    EXPECT_TRUE (litAt (-14.5));
    EXPECT_TRUE (litAt (14.5));

    // Nothing outside the mask band is lit at any value: the bevel and cap are never orange.
    const auto image = h.paint();
    const auto bevel = onCircle (360.5f, 238.5f, 131.0f, 6.3);
    EXPECT_FALSE (isLitOrange (image.getPixelAt (bevel.x, bevel.y)));
}

TEST_F (DepthKnob, MaskCoversFromJustPastTheValueToTheEnd)
{
    const auto& laf = segment->depthSliderLaF;
    const float a = DepthSegment::rotaryStart + 0.5f * (DepthSegment::rotaryEnd - DepthSegment::rotaryStart);
    const auto mask = laf.valueMask (a, DepthSegment::rotaryEnd);

    const auto at = [] (double r, double angle)
    {
        return juce::Point<float> ((float) (135.5 + r * std::sin (angle)), (float) (135.5 - r * std::cos (angle)));
    };

    EXPECT_FALSE (mask.contains (at (112.0, a - 0.1)));
    EXPECT_FALSE (mask.contains (at (112.0, a + 0.02)));     // the tip past the value stays lit
    EXPECT_TRUE (mask.contains (at (112.0, a + 0.08)));
    EXPECT_TRUE (mask.contains (at (125.0, DepthSegment::rotaryEnd - 0.05)));
    EXPECT_FALSE (mask.contains (at (130.0, a + 0.5)));      // the bevel is never covered
}
} // namespace
