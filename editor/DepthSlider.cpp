#include "DepthSlider.h"

DepthSlider::DepthSlider() = default;
DepthSlider::~DepthSlider() = default;

void DepthSlider::mouseEnter (const juce::MouseEvent&)
{
    label->setVisible (true);
}

void DepthSlider::mouseExit (const juce::MouseEvent&)
{
    label->setVisible (false);
}

void DepthSlider::valueChanged()
{
    label->setText (juce::String (getValue(), 1), juce::dontSendNotification);
}
