#include "BypassSegment.h"

BypassSegment::BypassSegment()
{
    addAndMakeVisible (bypassToggleBtn);
}

void BypassSegment::paint (juce::Graphics&)
{
    bypassToggleBtn.setBounds (0, 0, getWidth(), getHeight());
}
