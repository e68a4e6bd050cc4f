#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The preset menu's look: an opaque dark rounded panel with a light edge, no border space. */
class PresetPopupMenuLaF : public juce::LookAndFeel_V4
{
public:
    PresetPopupMenuLaF();

    void drawPopupMenuBackground (juce::Graphics&, int width, int height) override;
    int getPopupMenuBorderSize() override;

    float sizeFactor = 1.0f;

    /** Darker than the window, so the white rows read at well over 4.5:1 and the menu stands out. */
    static constexpr juce::uint32 panelColour = 0xff1f1f24;
    static constexpr juce::uint32 edgeColour = 0xff6c6c76;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetPopupMenuLaF)
};
