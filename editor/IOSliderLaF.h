#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Draws a gain fader as nothing but its thumb image, with the value written on it. */
class IOSliderLaF : public juce::LookAndFeel_V4
{
public:
    IOSliderLaF();
    ~IOSliderLaF() override;

    void drawLinearSlider (juce::Graphics&, int x, int y, int width, int height,
                           float sliderPos, float minSliderPos, float maxSliderPos,
                           juce::Slider::SliderStyle, juce::Slider&) override;

    juce::Slider::SliderLayout getSliderLayout (juce::Slider&) override;

    /** Where the thumb's top-left corner goes for the slider's current value. */
    juce::Point<int> thumbPosition (const juce::Slider&) const;

    juce::Image thumbImage;
    float sizeFactor = 1.0f;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (IOSliderLaF)
};
