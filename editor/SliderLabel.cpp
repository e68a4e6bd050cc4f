#include "SliderLabel.h"

SliderLabel::SliderLabel() = default;
SliderLabel::~SliderLabel() = default;

void SliderLabel::mouseEnter (const juce::MouseEvent&)
{
    setVisible (true);
}

// Leaving the label keeps it: the knob's own exit is what hides it.
void SliderLabel::mouseExit (const juce::MouseEvent&) {}
