#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The preset menu's look: a translucent rounded panel with no border. */
class PresetPopupMenuLaF : public juce::LookAndFeel_V4
{
public:
    PresetPopupMenuLaF();

    void drawPopupMenuBackground (juce::Graphics&, int width, int height) override;
    int getPopupMenuBorderSize() override;

    float sizeFactor = 1.0f;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetPopupMenuLaF)
};
