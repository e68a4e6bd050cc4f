#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The Depth EQ on/off switch: one image per state, no hover or press look. */
class EQToggleBtn : public juce::ToggleButton
{
public:
    EQToggleBtn();
    ~EQToggleBtn() override;

    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    float sizeFactor = 1.0f;
    juce::Image onImage;
    juce::Image offImage;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EQToggleBtn)
};
