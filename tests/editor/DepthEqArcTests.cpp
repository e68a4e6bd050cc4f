// The Depth EQ arc and its switch: the lit part that follows the value, the dark track and
// disabled slider while the switch is off, and the overlay whose click turns it back on.

#include "EditorHarness.h"

#include <gtest/gtest.h>

namespace
{
/** Whether the arc shows lit at a Depth EQ value, sampled mid-band in the window. */
bool litAt (EditorHarness& h, double value)
{
    const auto a = EqSegment::rotaryStart + (value - 1.0) / 3.0 * (EqSegment::rotaryEnd - EqSegment::rotaryStart);
    const auto p = onCircle (540.0f - 181.8f, 70.0f + 170.0f, 275.0f, a);
    return isLitOrange (h.paint().getPixelAt (p.x, p.y));
}

TEST (DepthEqArc, LitPartRunsFromTheLowerEndUpToTheValue)
{
    EditorHarness h;
    h.setParameter ("Depth EQ", 2.5f);
    h.open();

    EXPECT_TRUE (litAt (h, 1.05));
    EXPECT_TRUE (litAt (h, 2.4));
    EXPECT_FALSE (litAt (h, 2.65));
    EXPECT_FALSE (litAt (h, 3.9));

    h.setParameter ("Depth EQ", 4.0f);
    h.pump();
    EXPECT_TRUE (litAt (h, 3.95));

    h.setParameter ("Depth EQ", 1.0f);
    h.pump();
    EXPECT_FALSE (litAt (h, 1.15));
}

TEST (DepthEqArc, SwitchOffDarkensTheTrackDisablesTheSliderAndShowsTheOverlay)
{
    EditorHarness h;
    h.setParameter ("Depth EQ", 3.0f);
    auto& e = h.open();
    auto& eq = e.eqSegment;

    eq.eqToggleBtn.triggerClick();
    h.pump();
    h.paint();

    EXPECT_FLOAT_EQ (h.parameter ("Depth EQ Switch"), 0.0f);
    EXPECT_FALSE (eq.eqSliderLaF.eqOn);
    EXPECT_FALSE (eq.eqSlider.isEnabled());
    EXPECT_TRUE (eq.eqOverlayBtn.isVisible());
    EXPECT_EQ (eq.eqOverlayBtn.getBounds(), juce::Rectangle<int> (20, 0, 120, 320));
    EXPECT_FALSE (litAt (h, 1.0));
    EXPECT_FALSE (litAt (h, 2.0));

    // The value still moves with the host while the track stays dark.
    h.setParameter ("Depth EQ", 3.5f);
    h.pump();
    EXPECT_DOUBLE_EQ (eq.eqSlider.getValue(), 3.5);
    EXPECT_FALSE (litAt (h, 2.0));

    // A click on the dark track turns the switch on and lights the track at the value.
    eq.eqOverlayBtn.triggerClick();
    h.pump();
    EXPECT_FLOAT_EQ (h.parameter ("Depth EQ Switch"), 1.0f);
    EXPECT_TRUE (eq.eqSlider.isEnabled());
    EXPECT_TRUE (litAt (h, 3.3));
    EXPECT_FALSE (eq.eqOverlayBtn.isVisible());
}

TEST (DepthEqArc, EditorOpenedWithTheSwitchOffStartsDark)
{
    EditorHarness h;
    h.setParameter ("Depth EQ Switch", 0.0f);
    h.setParameter ("Depth EQ", 4.0f);
    auto& e = h.open();

    EXPECT_FALSE (e.eqSegment.eqToggleBtn.getToggleState());
    EXPECT_FALSE (e.eqSegment.eqSliderLaF.eqOn);
    EXPECT_TRUE (e.eqSegment.eqOverlayBtn.isVisible());
    EXPECT_FALSE (litAt (h, 2.5));

    // Disabled from the start, not only once the switch's callback first runs: a drag on the
    // strips of the slider that the overlay leaves uncovered must not move a dark track.
    EXPECT_FALSE (e.eqSegment.eqSlider.isEnabled());
}

TEST (DepthEqArc, SwitchImageFollowsItsState)
{
    EditorHarness h;
    auto& e = h.open();

    // The lit ring of the "on" image against the grey ring of the "off" one.
    const auto rim = [&] { return h.paint().getPixelAt (540 + 5 + 32, 70 + 310 + 32 - 21); };
    EXPECT_TRUE (isLitOrange (rim()));
    e.eqSegment.eqToggleBtn.setToggleState (false, juce::sendNotification);
    EXPECT_FALSE (isLitOrange (rim()));
}
} // namespace
