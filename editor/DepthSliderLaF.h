#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Draws the Depth knob: the ring with its fully lit track, a mask from the value on to the end
    angle in the window's colour, and the cap over the middle. */
class DepthSliderLaF : public juce::LookAndFeel_V4
{
public:
    DepthSliderLaF();
    ~DepthSliderLaF() override;

    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height,
                           float sliderPosProportional, float rotaryStartAngle, float rotaryEndAngle,
                           juce::Slider&) override;

    /** The region that hides the track beyond the value at angle a (slider coordinates). */
    juce::Path valueMask (float a, float rotaryEndAngle) const;

    float sizeFactor = 1.0f;
    juce::Image ringImage;
    juce::Image capImage;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DepthSliderLaF)
};
