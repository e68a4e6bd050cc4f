#pragma once

#include "PresetImageBtn.h"
#include "PresetPopupMenuLaF.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

/** The preset button at the top left. A click shows the factory presets; a choice is handed to
    the editor, which writes the preset's values into its widgets. */
class PresetSegment : public juce::Component
{
public:
    explicit PresetSegment (juce::Component* parent);

    void paint (juce::Graphics&) override;

    /** Shows the preset menu and waits for it to close (the button's click action). */
    void showPresetMenu();

    struct Preset
    {
        const char* name;
        double inputGain;
        double outputGain;
        bool ioLink;
        double depth;
        double depthEq;
    };

    /** The factory presets, by menu id 1 to 5; every one turns the Depth EQ switch on. */
    static const std::array<Preset, 5> presets;

    int currentPreset = 0;
    PresetImageBtn presetImageBtn;
    PresetPopupMenuLaF presetPopupMenuLaF;
    juce::Component* parent;
    bool presetChanged = false;
    float sizeFactor = 1.0f;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetSegment)
};
