#pragma once

#include "BypassSegment.h"
#include "DepthSegment.h"
#include "EqSegment.h"
#include "IOSegment.h"
#include "InformationSegment.h"
#include "PresetSegment.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

class TovaniAudioProcessor;

/** The plug-in's fixed 720 x 480 window: six panels over a background image, bound to the
    processor's parameters. Layout happens in paint; the window never resizes. */
class TovaniAudioProcessorEditor : public juce::AudioProcessorEditor,
                                   public juce::Slider::Listener
{
public:
    TovaniAudioProcessorEditor (TovaniAudioProcessor&, juce::AudioProcessorValueTreeState&);
    ~TovaniAudioProcessorEditor() override;

    /** Applies a preset that the preset segment has just flagged as chosen. */
    void childrenChanged() override;
    void paint (juce::Graphics&) override;
    void resized() override;

    /** The IO link: while it is on, the user's moving one gain fader moves the other the opposite
        way. Changes that come from the host (automation, a restored state) move only their own fader. */
    void sliderValueChanged (juce::Slider*) override;
    void sliderDragStarted (juce::Slider*) override;
    void sliderDragEnded (juce::Slider*) override;

    TovaniAudioProcessor& audioProcessor;
    juce::AudioProcessorValueTreeState& valueTreeState;

    IOSegment ioSegment;
    DepthSegment depthSegment;
    EqSegment eqSegment;
    juce::Image backgroundImage;
    juce::ImageButton backgroundButton;
    BypassSegment bypassSegment;
    InformationSegment informationSegment;
    PresetSegment presetSegment;
    float sizeFactor = 1.0f;

    // After every panel, so that each attachment lets go of its widget before the widget goes.
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> inputGainAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> outputGainAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> depthAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> depthEqAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> depthEqSwitchAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> ioLinkSwitchAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> bypassAttachment;

    double lastInput = 0.0;
    double lastOutput = 0.0;

private:
    /** The fader under a user's gesture (drag, wheel, double-click), if any. */
    juce::Slider* gestureFader = nullptr;

    void applyPreset (const PresetSegment::Preset&);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TovaniAudioProcessorEditor)
};
