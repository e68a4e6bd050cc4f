#include "EqSegment.h"

EqSegment::EqSegment()
{
    eqSlider.setLookAndFeel (&eqSliderLaF);
    eqSlider.setRotaryParameters (rotaryStart, rotaryEnd, true);

    addAndMakeVisible (eqSlider);
    addAndMakeVisible (eqToggleBtn);
    eqToggleBtn.onStateChange = [this] { switchStateChanged(); };
    addAndMakeVisible (eqOverlayBtn);
    eqOverlayBtn.onClick = [this] { overlayClicked(); };
}

EqSegment::~EqSegment()
{
    eqSlider.setLookAndFeel (nullptr);
}

// Runs on every state change of the switch, hover and press included, so it only mirrors the
// toggle state.
void EqSegment::switchStateChanged()
{
    const bool on = eqToggleBtn.getToggleState();
    eqSliderLaF.eqOn = on;
    eqSlider.setEnabled (on);
    repaint();
}

void EqSegment::overlayClicked()
{
    if (eqToggleBtn.getToggleState())
        return;

    eqToggleBtn.setToggleState (true, juce::sendNotification);
    repaint();
}

void EqSegment::paint (juce::Graphics&)
{
    const float s = sizeFactor;
    const int w = getWidth();

    eqSlider.setBounds (0, 0, w, (int) (330.0f * s));
    eqToggleBtn.setBounds ((int) (5.0f * s), (int) (310.0f * s), (int) (64.0f * s), (int) (64.0f * s));

    if (eqToggleBtn.getToggleState())
    {
        eqOverlayBtn.setVisible (false);
    }
    else
    {
        eqOverlayBtn.setVisible (true);
        eqOverlayBtn.setBounds ((int) (20.0f * s), 0, (int) ((float) w - 40.0f * s), (int) (320.0f * s));
    }
}
