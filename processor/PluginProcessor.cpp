#include "PluginProcessor.h"

#include <editor/PluginEditor.h>

TovaniAudioProcessor::TovaniAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      valueTreeState (*this, nullptr, "APVT", createParameterLayout())
{
    road.network.load (ShippedModels::model96(), ShippedModels::model192());

    inputGainParam = valueTreeState.getRawParameterValue (ParameterIDs::inputGain);
    outputGainParam = valueTreeState.getRawParameterValue (ParameterIDs::outputGain);
    depthParam = valueTreeState.getRawParameterValue (ParameterIDs::depth);
    depthEqParam = valueTreeState.getRawParameterValue (ParameterIDs::depthEq);
    depthEqSwitchParam = valueTreeState.getRawParameterValue (ParameterIDs::depthEqSwitch);
    bypassParam = valueTreeState.getRawParameterValue (ParameterIDs::bypass);

    lastControls = readControls();
}

TovaniAudioProcessor::~TovaniAudioProcessor() = default;

const juce::String TovaniAudioProcessor::getName() const { return "Lumbrane"; }

void TovaniAudioProcessor::releaseResources() {}

double TovaniAudioProcessor::getTailLengthSeconds() const { return road.tailSeconds(); }
bool TovaniAudioProcessor::acceptsMidi() const { return false; }
bool TovaniAudioProcessor::producesMidi() const { return false; }
bool TovaniAudioProcessor::isMidiEffect() const { return false; }

juce::AudioProcessorEditor* TovaniAudioProcessor::createEditor()
{
    return new TovaniAudioProcessorEditor (*this, valueTreeState);
}

bool TovaniAudioProcessor::hasEditor() const { return true; }

int TovaniAudioProcessor::getNumPrograms() { return 1; }
int TovaniAudioProcessor::getCurrentProgram() { return 0; }
void TovaniAudioProcessor::setCurrentProgram (int) {}
const juce::String TovaniAudioProcessor::getProgramName (int) { return {}; }
void TovaniAudioProcessor::changeProgramName (int, const juce::String&) {}

bool TovaniAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto output = layouts.getMainOutputChannelSet();

    if (output != juce::AudioChannelSet::mono() && output != juce::AudioChannelSet::stereo())
        return false;

    return layouts.getMainInputChannelSet() == output;
}

juce::AudioProcessorParameter* TovaniAudioProcessor::getBypassParameter() const
{
    // Ours is the host's bypass: hosts then show one bypass, and it fades as ours does. Not in
    // LV2, whose wrapper would overwrite it from the host's "enabled" port on every block, so
    // that the window's Bypass could never turn on; there the host's bypass arrives through
    // processBlockBypassed instead.
    return wrapperType == wrapperType_LV2 ? nullptr : valueTreeState.getParameter (ParameterIDs::bypass);
}

RoadControls TovaniAudioProcessor::readControls() const noexcept
{
    RoadControls c;
    c.inputGain = finiteOr (gainFromDecibels (inputGainParam->load()), lastControls.inputGain);
    c.outputGain = finiteOr (gainFromDecibels (outputGainParam->load()), lastControls.outputGain);
    c.depthControl = finiteOr (depthControlFrom (depthParam->load()), lastControls.depthControl);
    c.eqControl = finiteOr (depthEqControlFrom (depthEqParam->load(), depthEqSwitchParam->load()), lastControls.eqControl);
    c.bypassed = isBypassed (bypassParam->load());
    return c;
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new TovaniAudioProcessor();
}
