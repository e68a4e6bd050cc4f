#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** One row of the preset menu: a spacer above or below the list, or a preset's name. */
class PresetCustomComponent : public juce::PopupMenu::CustomComponent
{
public:
    enum RowType
    {
        topSpacer = 1,
        presetRow = 2,
        bottomSpacer = 3
    };

    PresetCustomComponent (const juce::String& text, int rowType);

    void paint (juce::Graphics&) override;
    void getIdealSize (int& idealWidth, int& idealHeight) override;

    /** Whether the menu item that holds this row is highlighted. */
    bool isHighlightedRow() const;

    juce::String text;
    int rowType;

    /** The editor's scale, shared by every row; set by each editor as it is built. */
    static float sizeFactor;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetCustomComponent)
};
