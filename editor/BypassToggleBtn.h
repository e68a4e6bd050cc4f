#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The bypass switch. Off, it is the small face at the top right; on, it fills the window and
    draws the bypass overlay over everything, so any click turns bypass off again. */
class BypassToggleBtn : public juce::ToggleButton
{
public:
    BypassToggleBtn();

    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    float sizeFactor = 1.0f;
    juce::Image overlayImage;
    juce::Image buttonImage;
    juce::Image downImage;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BypassToggleBtn)
};
