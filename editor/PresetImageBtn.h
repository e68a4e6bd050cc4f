#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The preset button's face; a smaller face while the mouse holds it down. */
class PresetImageBtn : public juce::ImageButton
{
public:
    PresetImageBtn();

    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    juce::Image normalImage;
    juce::Image downImage;
    float sizeFactor = 1.0f;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetImageBtn)
};
