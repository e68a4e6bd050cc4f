#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The Depth knob: shows its value label while hovered and keeps the label's text current. */
class DepthSlider : public juce::Slider
{
public:
    DepthSlider();
    ~DepthSlider() override;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void valueChanged() override;

    juce::Label* label = nullptr;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DepthSlider)
};
