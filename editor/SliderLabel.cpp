#include "SliderLabel.h"

SliderLabel::SliderLabel() = default;
SliderLabel::~SliderLabel() = default;

void SliderLabel::mouseEnter (const juce::MouseEvent&)
{
    setVisible (true);
}

// Leaving the label keeps it: the knob's own exit is what hides it.
void SliderLabel::mouseExit (const juce::MouseEvent&) {}

void SliderLabel::mouseDrag (const juce::MouseEvent& e)
{
    if (knob == nullptr || ! knob->isEnabled())
        return;

    if (! draggingKnob)
    {
        // The knob measures a drag from where the button went down, so it is given that press
        // first: the whole movement counts, as it would have on the knob itself.
        draggingKnob = true;
        knob->mouseDown (e.withNewPosition (e.mouseDownPosition).getEventRelativeTo (knob));
    }

    knob->mouseDrag (e.getEventRelativeTo (knob));
}

void SliderLabel::mouseUp (const juce::MouseEvent& e)
{
    if (draggingKnob)
    {
        draggingKnob = false;
        knob->mouseUp (e.getEventRelativeTo (knob));
        return;
    }

    juce::Label::mouseUp (e);
}
