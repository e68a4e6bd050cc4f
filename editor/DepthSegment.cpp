#include "DepthSegment.h"

DepthSegment::DepthSegment()
{
    sliderLabel.setFont (juce::Font (17.0f));
    sliderLabel.setJustificationType (juce::Justification::horizontallyCentred);
    sliderLabel.setColour (juce::Label::textColourId, juce::Colour (0xffffffff));
    sliderLabel.setColour (juce::Label::outlineWhenEditingColourId, juce::Colours::lightgrey);
    sliderLabel.setColour (juce::Label::textWhenEditingColourId, juce::Colour (0xffffffff));
    sliderLabel.setColour (juce::Label::backgroundColourId, juce::Colours::transparentWhite);
    sliderLabel.setEditable (true, false, false);

    addAndMakeVisible (depthSlider);
    depthSlider.setLookAndFeel (&depthSliderLaF);
    depthSlider.setRotaryParameters (rotaryStart, rotaryEnd, true);
    depthSlider.label = &sliderLabel;
    sliderLabel.knob = &depthSlider;

    addAndMakeVisible (sliderLabel);
    sliderLabel.setVisible (false);

    sliderLabel.onTextChange = [this] { applyTypedValue(); };
}

DepthSegment::~DepthSegment()
{
    depthSlider.setLookAndFeel (nullptr);
}

void DepthSegment::applyTypedValue()
{
    // Text that does not start with a number reads as 0; the slider clamps and snaps the rest.
    depthSlider.setValue (sliderLabel.getText().getDoubleValue(), juce::sendNotificationAsync);
    sliderLabel.setText (juce::String (depthSlider.getValue(), 1), juce::dontSendNotification);
}

void DepthSegment::paint (juce::Graphics&)
{
    const float s = sizeFactor;
    const int w = getWidth();
    const int h = getHeight();
    const int d = (int) (271.0f * s);

    depthSlider.setBounds (w / 2 - d / 2, h / 2 - d / 2, d, d);

    const auto halfW = (float) (w / 2);
    const auto halfH = (float) (h / 2);
    sliderLabel.setBounds ((int) (halfW - 25.0f * s), (int) (30.0f * s + halfH), (int) (50.0f * s), (int) (25.0f * s));
}
