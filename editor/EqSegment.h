#pragma once

#include "EQToggleBtn.h"
#include "EqSliderLaF.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The right-hand panel: the Depth EQ arc and, below it, the Depth EQ switch. While the switch
    is off the track is dark, the slider is disabled and a click on the track turns it back on. */
class EqSegment : public juce::Component
{
public:
    EqSegment();
    ~EqSegment() override;

    void paint (juce::Graphics&) override;

    static constexpr float rotaryStart = 2.0483184f;   // lower end, Depth EQ 1
    static constexpr float rotaryEnd = 1.0681415f;     // upper end, Depth EQ 4

    float sizeFactor = 1.0f;
    EqSliderLaF eqSliderLaF;          // declared first: it outlives the slider that draws with it
    juce::Slider eqSlider;
    juce::ImageButton eqOverlayBtn;
    EQToggleBtn eqToggleBtn;

private:
    void switchStateChanged();
    void overlayClicked();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EqSegment)
};
