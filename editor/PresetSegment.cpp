#include "PresetSegment.h"

#include "PresetCustomComponent.h"

const std::array<PresetSegment::Preset, 5> PresetSegment::presets { {
    { "Default",     0.0,  0.0,                   false, 0.0,  1.0 },
    { "Front Kick",  0.0, -0.5,                   false, 7.0,  1.0 },
    { "Front Vocal", 0.0, (double) -0.3f,         false, 3.0,  3.0 },
    { "Front Air",   0.0,  0.0,                   false, 11.0, 4.0 },
    { "More Color",  7.0, -7.0,                   true,  0.0,  1.0 },
} };

PresetSegment::PresetSegment (juce::Component* editor)
    : parent (editor)
{
    // A see-through menu where the desktop composites, so the rounded corners show what is beneath.
    presetPopupMenuLaF.setColour (juce::PopupMenu::backgroundColourId, juce::Colours::transparentWhite);
    addAndMakeVisible (presetImageBtn);
    presetImageBtn.onClick = [this] { showPresetMenu(); };
}

void PresetSegment::paint (juce::Graphics&)
{
    presetImageBtn.setBounds (0, 0, getWidth(), getHeight());
}

void PresetSegment::showPresetMenu()
{
    const float s = sizeFactor;
    const int width = (int) (95.0f * s);
    const int rowHeight = (int) (25.0f * s);
    const int spacerHeight = (int) (7.0f * s);

    juce::PopupMenu menu;
    menu.setLookAndFeel (&presetPopupMenuLaF);

    PresetCustomComponent top ({}, PresetCustomComponent::topSpacer);
    PresetCustomComponent row1 (presets[0].name, PresetCustomComponent::presetRow);
    PresetCustomComponent row2 (presets[1].name, PresetCustomComponent::presetRow);
    PresetCustomComponent row3 (presets[2].name, PresetCustomComponent::presetRow);
    PresetCustomComponent row4 (presets[3].name, PresetCustomComponent::presetRow);
    PresetCustomComponent row5 (presets[4].name, PresetCustomComponent::presetRow);
    PresetCustomComponent bottom ({}, PresetCustomComponent::bottomSpacer);

    menu.addCustomItem (998, top, width, spacerHeight, false);
    int id = 1;
    for (auto* row : { &row1, &row2, &row3, &row4, &row5 })
        menu.addCustomItem (id++, *row, width, rowHeight, true, nullptr, row->text);   // named for screen readers
    menu.addCustomItem (999, bottom, width, spacerHeight, false);

    // The menu sees clicks on its items, not on what they hold: a row, and the item the menu
    // wraps it in, let clicks through. Otherwise the menu only finds a click by polling the
    // mouse button, and a quick tap can come and go between two polls.
    for (auto* row : { &top, &row1, &row2, &row3, &row4, &row5, &bottom })
    {
        row->setInterceptsMouseClicks (false, false);

        if (auto* item = row->getParentComponent())
            item->setInterceptsMouseClicks (false, false);
    }

    // The menu opens inside a temporary area of the editor rather than in a window of its own.
    juce::Component area;

    if (parent != nullptr)
    {
        area.setVisible (true);
        parent->addAndMakeVisible (area);
        area.setBounds ((int) (79.0f * s), (int) (55.0f * s), (int) (180.0f * s), (int) (180.0f * s));
    }

    auto options = juce::PopupMenu::Options().withMinimumWidth (width).withStandardItemHeight (rowHeight);

    if (currentPreset != 0)
        options = options.withInitiallySelectedItem (currentPreset);

    options = options.withMaximumNumColumns (1).withParentComponent (&area);

    currentPreset = menu.showMenu (options);

    if (currentPreset != 0 && parent != nullptr)
    {
        presetChanged = true;
        parent->childrenChanged();
    }
}
