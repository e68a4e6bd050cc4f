#include "InformationSegment.h"

#include "ManualFile.h"

InformationSegment::InformationSegment()
{
    addAndMakeVisible (infoToggleBtn);
    addAndMakeVisible (panelBlockerBtn);
    addAndMakeVisible (manualLinkBtn);
    addChildComponent (manualProblem);

    // Opaque in the panel's own colour: it covers the footer it replaces.
    manualProblem.setColour (juce::Label::backgroundColourId, juce::Colour (0xff2a2a30));
    manualProblem.setColour (juce::Label::textColourId, juce::Colour (0xffe6e6ea));
    manualProblem.setJustificationType (juce::Justification::centred);
    manualProblem.setMinimumHorizontalScale (0.5f);
    manualProblem.setInterceptsMouseClicks (false, false);

    openManual = [safe = juce::Component::SafePointer<InformationSegment> (this)] (const juce::File& manual)
    {
        ManualFile::openInBrowser (manual, [safe, manual] (bool opened)
        {
            if (! opened && safe != nullptr)
                safe->showManualNotOpened (manual);
        });
    };

    manualLinkBtn.onClick = [this]
    {
        const auto manual = ManualFile::writeToCache();

        if (manual.existsAsFile())
            openManual (manual);
        else
            showManualNotOpened (ManualFile::cacheFolder().getChildFile ("manual.html"));
    };
}

void InformationSegment::showManualNotOpened (const juce::File& manual)
{
    const auto where = manual.existsAsFile() ? juce::String ("No browser could be opened. The manual is at")
                                             : juce::String ("The manual could not be written to");
    manualProblem.setText (where + "\n" + manual.getFullPathName(), juce::dontSendNotification);
    manualProblem.setVisible (true);
    repaint();
}

void InformationSegment::paint (juce::Graphics&)
{
    const float s = sizeFactor;
    const int w = getWidth();
    const int h = getHeight();

    infoToggleBtn.setBounds (0, 0, w, h);

    if (infoToggleBtn.getToggleState())
    {
        const int bw = (int) (270.0f * s);
        const int bh = (int) (180.0f * s);
        panelBlockerBtn.setBounds (w / 2 - bw / 2, h / 2 - bh / 2, bw, bh);

        manualLinkBtn.setEnabled (true);
        manualLinkBtn.setBounds ((int) (113.0f * s + (float) (w / 2 - panelBlockerBtn.getWidth() / 2)),
                                 (int) (268.0f * s), (int) (45.0f * s), (int) (12.0f * s));

        // Below the link, over the maker's name and the footer, inside the panel's rounded edge.
        manualProblem.setFont (juce::Font (11.0f * s));
        manualProblem.setBounds (panelBlockerBtn.getX() + (int) (8.0f * s), (int) (288.0f * s),
                                 panelBlockerBtn.getWidth() - (int) (16.0f * s), (int) (34.0f * s));
    }
    else
    {
        manualLinkBtn.setEnabled (false);
        manualProblem.setVisible (false);
    }
}
