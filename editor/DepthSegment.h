#pragma once

#include "DepthSlider.h"
#include "DepthSliderLaF.h"
#include "SliderLabel.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The large Depth knob in the middle of the window, with its editable value label. */
class DepthSegment : public juce::Component
{
public:
    DepthSegment();
    ~DepthSegment() override;

    void paint (juce::Graphics&) override;

    static constexpr float rotaryStart = 3.7070794f;
    static constexpr float rotaryEnd = 8.906415f;

    float sizeFactor = 1.0f;
    DepthSliderLaF depthSliderLaF;    // declared first: it outlives the slider that draws with it
    DepthSlider depthSlider;
    SliderLabel sliderLabel;

private:
    void applyTypedValue();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DepthSegment)
};
