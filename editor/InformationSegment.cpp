#include "InformationSegment.h"

#include "ManualFile.h"

InformationSegment::InformationSegment()
{
    addAndMakeVisible (infoToggleBtn);
    addAndMakeVisible (panelBlockerBtn);
    addAndMakeVisible (manualLinkBtn);

    manualLinkBtn.onClick = [this]
    {
        const auto manual = ManualFile::writeToCache();

        if (manual.existsAsFile())
            openManual (juce::URL (manual));
    };
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
    }
    else
    {
        manualLinkBtn.setEnabled (false);
    }
}
