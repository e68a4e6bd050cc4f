#pragma once

#include "IOSliderLaF.h"
#include "LinkToggleBtn.h"
#include "VolumeMeter.h"

#include <juce_gui_basics/juce_gui_basics.h>

class TovaniAudioProcessor;

/** The left-hand column: Input and Output Gain faders, the link switch, the level strips and meter. */
class IOSegment : public juce::Component
{
public:
    explicit IOSegment (TovaniAudioProcessor* processor);
    ~IOSegment() override;

    void paint (juce::Graphics&) override;

    IOSliderLaF ioSliderLaF;
    juce::Slider inputSlider;
    juce::Slider outputSlider;
    juce::Image barImage;
    LinkToggleBtn linkToggleBtn;
    VolumeMeter volumeMeter;
    float sizeFactor = 1.0f;

    /** Left edges of the four level strips: input left and right, output left and right. */
    static constexpr float stripX[4] { 26.0f, 32.0f, 103.0f, 109.0f };

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (IOSegment)
};
