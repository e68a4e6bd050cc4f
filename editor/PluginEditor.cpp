#include "PluginEditor.h"

#include "EditorArtwork.h"
#include "PresetCustomComponent.h"

#include <processor/PluginProcessor.h>

#include <BinaryData.h>

namespace
{
using SliderAttachment = juce::AudioProcessorValueTreeState::SliderAttachment;
using ButtonAttachment = juce::AudioProcessorValueTreeState::ButtonAttachment;

void setUpSlider (juce::Slider& slider, juce::Slider::SliderStyle style)
{
    slider.setSliderStyle (style);
    slider.setTextBoxStyle (juce::Slider::NoTextBox, false, 80, 20);
}
} // namespace

TovaniAudioProcessorEditor::TovaniAudioProcessorEditor (TovaniAudioProcessor& owner,
                                                        juce::AudioProcessorValueTreeState& state)
    : juce::AudioProcessorEditor (owner),
      audioProcessor (owner),
      valueTreeState (state),
      ioSegment (&owner),
      presetSegment (this)
{
    sizeFactor = 1.0f;
    backgroundImage = EditorArtwork::load (BinaryData::background_png, BinaryData::background_pngSize);

    addAndMakeVisible (backgroundButton);
    backgroundButton.onClick = [this] { depthSegment.sliderLabel.setVisible (false); };

    addAndMakeVisible (presetSegment);
    addAndMakeVisible (ioSegment);

    setUpSlider (ioSegment.inputSlider, juce::Slider::LinearVertical);
    inputGainAttachment = std::make_unique<SliderAttachment> (valueTreeState, "Input Gain", ioSegment.inputSlider);
    setUpSlider (ioSegment.outputSlider, juce::Slider::LinearVertical);
    outputGainAttachment = std::make_unique<SliderAttachment> (valueTreeState, "Output Gain", ioSegment.outputSlider);
    ioLinkSwitchAttachment = std::make_unique<ButtonAttachment> (valueTreeState, "IO Link Switch", ioSegment.linkToggleBtn);

    // Only now, with both faders at their parameters' values, may the link start listening.
    ioSegment.inputSlider.addListener (this);
    ioSegment.outputSlider.addListener (this);
    lastInput = ioSegment.inputSlider.getValue();
    lastOutput = ioSegment.outputSlider.getValue();

    addAndMakeVisible (depthSegment);
    setUpSlider (depthSegment.depthSlider, juce::Slider::RotaryVerticalDrag);
    depthAttachment = std::make_unique<SliderAttachment> (valueTreeState, "Depth", depthSegment.depthSlider);

    addAndMakeVisible (eqSegment);
    setUpSlider (eqSegment.eqSlider, juce::Slider::RotaryVerticalDrag);
    depthEqAttachment = std::make_unique<SliderAttachment> (valueTreeState, "Depth EQ", eqSegment.eqSlider);
    depthEqSwitchAttachment = std::make_unique<ButtonAttachment> (valueTreeState, "Depth EQ Switch", eqSegment.eqToggleBtn);
    // The attachment's first update runs the switch's state callback only when it turns the
    // switch on; opened with the switch off, the panel is put in its off state here, slider
    // disabled included, so no drag can move a value the dark track does not show.
    eqSegment.eqSliderLaF.eqOn = eqSegment.eqToggleBtn.getToggleState();
    eqSegment.eqSlider.setEnabled (eqSegment.eqToggleBtn.getToggleState());

    addAndMakeVisible (informationSegment);
    informationSegment.infoToggleBtn.onStateChange = [this] { repaint(); };

    addAndMakeVisible (bypassSegment);
    bypassSegment.bypassToggleBtn.onStateChange = [this] { repaint(); };
    bypassAttachment = std::make_unique<ButtonAttachment> (valueTreeState, "Bypass", bypassSegment.bypassToggleBtn);

    bypassSegment.sizeFactor = sizeFactor;
    bypassSegment.bypassToggleBtn.sizeFactor = sizeFactor;
    depthSegment.sizeFactor = sizeFactor;
    depthSegment.sliderLabel.setFont (juce::Font (17.0f * sizeFactor));
    depthSegment.depthSliderLaF.sizeFactor = sizeFactor;
    eqSegment.sizeFactor = sizeFactor;
    eqSegment.eqSliderLaF.sizeFactor = sizeFactor;
    eqSegment.eqToggleBtn.sizeFactor = sizeFactor;
    informationSegment.sizeFactor = sizeFactor;
    informationSegment.infoToggleBtn.sizeFactor = sizeFactor;
    ioSegment.sizeFactor = sizeFactor;
    ioSegment.ioSliderLaF.sizeFactor = sizeFactor;
    ioSegment.linkToggleBtn.sizeFactor = sizeFactor;
    ioSegment.volumeMeter.sizeFactor = sizeFactor;
    ioSegment.volumeMeter.inputPeakButton.setBounds ((int) (-4.0f * sizeFactor), 0, (int) (69.0f * sizeFactor), (int) (23.0f * sizeFactor));
    ioSegment.volumeMeter.outputPeakButton.setBounds ((int) (73.0f * sizeFactor), 0, (int) (69.0f * sizeFactor), (int) (23.0f * sizeFactor));
    presetSegment.sizeFactor = sizeFactor;
    PresetCustomComponent::sizeFactor = sizeFactor;
    presetSegment.presetImageBtn.sizeFactor = sizeFactor;

    setSize ((int) (720.0f * sizeFactor), (int) (480.0f * sizeFactor));
    backgroundImage = EditorArtwork::halved (backgroundImage);
    setResizable (false, false);
}

TovaniAudioProcessorEditor::~TovaniAudioProcessorEditor()
{
    // A shown child that leaves calls childrenChanged, which reads the preset segment: let every
    // child go while all of them still exist, not one by one as the members are destroyed.
    removeAllChildren();
}

void TovaniAudioProcessorEditor::resized() {}

void TovaniAudioProcessorEditor::paint (juce::Graphics& g)
{
    const float s = sizeFactor;
    const int width = getWidth();
    const int height = getHeight();

    backgroundButton.setBounds (0, 0, (int) (720.0f * s), (int) (480.0f * s));

    g.fillAll (EditorArtwork::windowColour);
    g.drawImageWithin (backgroundImage, 0, 0, (int) (720.0f * s), (int) (480.0f * s),
                       juce::RectanglePlacement::fillDestination);

    ioSegment.setBounds ((int) (38.0f * s), (int) (57.0f * s), (int) (150.0f * s), (int) (410.0f * s));
    depthSegment.setBounds ((int) ((float) (width / 2) - 155.0f * s), (int) (83.0f * s), (int) (310.0f * s), (int) (310.0f * s));
    eqSegment.setBounds ((int) (540.0f * s), (int) (70.0f * s), (int) (160.0f * s), (int) (380.0f * s));

    if (bypassSegment.bypassToggleBtn.getToggleState())
        bypassSegment.setBounds (0, 0, width, height);
    else
        bypassSegment.setBounds ((int) (533.0f * s), (int) (23.0f * s), (int) (86.0f * s), (int) (44.0f * s));

    if (informationSegment.infoToggleBtn.getToggleState())
        informationSegment.setBounds (0, 0, width, height);
    else
        informationSegment.setBounds ((int) (522.0f * s), (int) (443.0f * s), (int) (190.0f * s), (int) (30.0f * s));

    presetSegment.setBounds ((int) (66.0f * s), (int) (23.0f * s), (int) (84.0f * s), (int) (44.0f * s));
}

void TovaniAudioProcessorEditor::sliderValueChanged (juce::Slider* slider)
{
    auto& input = ioSegment.inputSlider;
    auto& output = ioSegment.outputSlider;

    // Only a gesture on the fader is echoed: a host's automation of one gain must sound the same
    // whether or not this window is open, and must not come back to the host as a change of the other.
    if (ioSegment.linkToggleBtn.getToggleState() && slider == gestureFader)
    {
        // The compensating move goes through the other fader's own range: at an end it stops
        // there. Its own notification comes later and finds no change against the stored value.
        if (slider == &input)
            output.setValue (output.getValue() - (input.getValue() - lastInput), juce::sendNotificationAsync);
        else if (slider == &output)
            input.setValue (input.getValue() - (output.getValue() - lastOutput), juce::sendNotificationAsync);
    }

    lastInput = input.getValue();
    lastOutput = output.getValue();
}

void TovaniAudioProcessorEditor::sliderDragStarted (juce::Slider* slider)
{
    gestureFader = slider;
}

void TovaniAudioProcessorEditor::sliderDragEnded (juce::Slider* slider)
{
    if (gestureFader == slider)
        gestureFader = nullptr;
}

void TovaniAudioProcessorEditor::childrenChanged()
{
    if (! presetSegment.presetChanged)
        return;

    presetSegment.presetChanged = false;

    const int id = presetSegment.currentPreset;

    if (id >= 1 && id <= (int) PresetSegment::presets.size())
        applyPreset (PresetSegment::presets[(size_t) (id - 1)]);
}

void TovaniAudioProcessorEditor::applyPreset (const PresetSegment::Preset& preset)
{
    // The link is off while the faders move, and lastInput/lastOutput hold the new values before
    // the faders' queued notifications arrive, so the link sees no movement.
    ioSegment.linkToggleBtn.setToggleState (false, juce::sendNotification);
    ioSegment.inputSlider.setValue (preset.inputGain, juce::sendNotificationAsync);
    ioSegment.outputSlider.setValue (preset.outputGain, juce::sendNotificationAsync);
    lastInput = preset.inputGain;
    lastOutput = preset.outputGain;
    ioSegment.linkToggleBtn.setToggleState (preset.ioLink, juce::sendNotification);
    depthSegment.depthSlider.setValue (preset.depth, juce::sendNotificationAsync);
    eqSegment.eqSlider.setValue (preset.depthEq, juce::sendNotificationAsync);
    eqSegment.eqToggleBtn.setToggleState (true, juce::sendNotification);
}
