#pragma once

#include "BypassToggleBtn.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** Holds the bypass switch; the editor sizes it to the face or to the whole window. */
class BypassSegment : public juce::Component
{
public:
    BypassSegment();

    void paint (juce::Graphics&) override;

    BypassToggleBtn bypassToggleBtn;
    float sizeFactor = 1.0f;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BypassSegment)
};
