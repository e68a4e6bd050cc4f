#include "PresetPopupMenuLaF.h"

#include "EditorArtwork.h"

PresetPopupMenuLaF::PresetPopupMenuLaF() = default;

void PresetPopupMenuLaF::drawPopupMenuBackground (juce::Graphics& g, int width, int height)
{
    // The panel is opaque: without a compositing desktop the framework makes the menu opaque
    // whatever its colour says and draws nothing behind it, so a see-through panel landed on white.
    // Then the corners, too, are ours to fill, with the window's colour over which the menu opens.
    if (! juce::Desktop::canUseSemiTransparentWindows())
        g.fillAll (EditorArtwork::windowColour);

    g.setColour (juce::Colour (panelColour));
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, 7.5f * sizeFactor);
    g.setColour (juce::Colour (edgeColour));
    g.drawRoundedRectangle (0.5f, 0.5f, (float) width - 1.0f, (float) height - 1.0f, 7.5f * sizeFactor, 1.0f);
}

int PresetPopupMenuLaF::getPopupMenuBorderSize()
{
    return 0;
}
