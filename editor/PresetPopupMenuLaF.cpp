#include "PresetPopupMenuLaF.h"

#include "EditorArtwork.h"

PresetPopupMenuLaF::PresetPopupMenuLaF() = default;

void PresetPopupMenuLaF::drawPopupMenuBackground (juce::Graphics& g, int width, int height)
{
    // Opaque throughout: without a compositing desktop the framework gives the menu a window that
    // shows no translucency, and white rows on a see-through grey landed on white. The corners
    // take the window's colour, over which the menu opens.
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
