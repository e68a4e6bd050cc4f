#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Draws the Depth EQ arc: the track artwork, then a mask in the window's colour from the upper
    end down to the value, or down past the lower end while the Depth EQ switch is off. */
class EqSliderLaF : public juce::LookAndFeel_V4
{
public:
    EqSliderLaF();
    ~EqSliderLaF() override;

    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height,
                           float sliderPosProportional, float rotaryStartAngle, float rotaryEndAngle,
                           juce::Slider&) override;

    /** The angle at which the lit part ends. */
    float litEndAngle (float proportion, float rotaryStartAngle, float rotaryEndAngle) const;

    /** The region that hides the track above the lit end at angle theta (slider coordinates). */
    juce::Path valueMask (float theta, float rotaryEndAngle) const;

    static const float offAngle;

    bool eqOn = true;
    float sizeFactor = 1.0f;
    juce::Image arcImage;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EqSliderLaF)
};
