#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The IO link switch between the two gain faders: one image per state, no hover or press look. */
class LinkToggleBtn : public juce::ToggleButton
{
public:
    LinkToggleBtn();
    ~LinkToggleBtn() override;

    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    juce::Image onImage;
    juce::Image offImage;
    float sizeFactor = 1.0f;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LinkToggleBtn)
};
