#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The Depth knob's value label: shows itself when the pointer enters it, and stays when it leaves. */
class SliderLabel : public juce::Label
{
public:
    SliderLabel();
    ~SliderLabel() override;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SliderLabel)
};
