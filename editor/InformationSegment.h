#pragma once

#include "InfoToggleBtn.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** The information overlay: its switch, an invisible blocker over the open panel and the link
    area that opens the manual. The editor sizes it to the face or to the whole window. */
class InformationSegment : public juce::Component
{
public:
    InformationSegment();

    void paint (juce::Graphics&) override;

    /** Says on the open panel that the manual could not be opened, and where its file is. */
    void showManualNotOpened (const juce::File& manual);

    juce::ImageButton manualLinkBtn;
    juce::ImageButton panelBlockerBtn;
    InfoToggleBtn infoToggleBtn;
    /** Over the panel's footer, shown only after the manual failed to open. */
    juce::Label manualProblem;
    float sizeFactor = 1.0f;

    /** What the link does with the manual's file once written: the desktop's opener, which reports
        a failure back to the panel. */
    std::function<void (const juce::File&)> openManual;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InformationSegment)
};
