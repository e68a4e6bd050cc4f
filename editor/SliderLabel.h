#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The Depth knob's value label: shows itself when the pointer enters it, and stays when it leaves.
    It lies over the knob's cap, where people grab a knob, so a drag that starts on it is handed to
    the knob; a click without a drag still opens the label for typing. */
class SliderLabel : public juce::Label
{
public:
    SliderLabel();
    ~SliderLabel() override;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;

    /** The knob beneath, which takes the drags; set by the segment. */
    juce::Slider* knob = nullptr;

private:
    bool draggingKnob = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SliderLabel)
};
