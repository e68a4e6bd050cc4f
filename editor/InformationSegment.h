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

    juce::ImageButton manualLinkBtn;
    juce::ImageButton panelBlockerBtn;
    InfoToggleBtn infoToggleBtn;
    float sizeFactor = 1.0f;

    /** What the link does with the manual's file once written; opens it in the default browser. */
    std::function<void (const juce::URL&)> openManual = [] (const juce::URL& url) { url.launchInDefaultBrowser(); };

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InformationSegment)
};
