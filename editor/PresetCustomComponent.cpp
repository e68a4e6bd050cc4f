#include "PresetCustomComponent.h"

float PresetCustomComponent::sizeFactor = 0.0f;

PresetCustomComponent::PresetCustomComponent (const juce::String& rowText, int type)
    : juce::PopupMenu::CustomComponent (true),
      text (rowText),
      rowType (type)
{
}

bool PresetCustomComponent::isHighlightedRow() const
{
    // The menu wraps the row in an item of its own, which holds the highlight.
    if (auto* menuItem = dynamic_cast<juce::PopupMenu::CustomComponent*> (getParentComponent()))
        return menuItem->isItemHighlighted();

    return false;
}

void PresetCustomComponent::paint (juce::Graphics& g)
{
    const float s = sizeFactor;
    g.setFont (13.0f * s);

    if (rowType != presetRow)
        return;

    if (isHighlightedRow())
    {
        g.setColour (juce::Colour (0xff54545e));
        g.fillRoundedRectangle (4.0f * s, 2.5f * s, 87.0f * s, 20.0f * s, 4.0f * s);
    }

    g.setColour (juce::Colours::white);
    g.drawText (text, juce::Rectangle<int> ((int) (7.0f * s), (int) (0.0f * s), (int) (95.0f * s), (int) (25.0f * s)),
                juce::Justification::centredLeft, true);
}

void PresetCustomComponent::getIdealSize (int& idealWidth, int& idealHeight)
{
    idealWidth = (int) (95.0f * sizeFactor);
    idealHeight = (int) ((rowType == presetRow ? 25.0f : 7.0f) * sizeFactor);
}
