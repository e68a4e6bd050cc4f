#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The information switch. Closed, it is the face at the bottom right (with a hover look); open,
    it fills the window and draws the information panel in its middle. */
class InfoToggleBtn : public juce::ToggleButton
{
public:
    InfoToggleBtn();

    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    float sizeFactor = 1.0f;
    juce::Image panelImage;
    juce::Image buttonImage;
    juce::Image hoverImage;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InfoToggleBtn)
};
