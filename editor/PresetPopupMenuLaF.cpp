#include "PresetPopupMenuLaF.h"

PresetPopupMenuLaF::PresetPopupMenuLaF() = default;

void PresetPopupMenuLaF::drawPopupMenuBackground (juce::Graphics& g, int width, int height)
{
    g.setColour (juce::Colour (0x99cccccc));
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, 7.5f * sizeFactor);
}

int PresetPopupMenuLaF::getPopupMenuBorderSize()
{
    return 0;
}
