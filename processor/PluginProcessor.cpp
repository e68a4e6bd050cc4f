#include "PluginProcessor.h"

#include <editor/PluginEditor.h>

#include <BinaryData.h>

namespace
{
nlohmann::json parseModel (const char* data, int size)
{
    const auto text = juce::String::createStringFromData (data, size).toStdString();
    return nlohmann::json::parse (text, nullptr, true, false);
}
} // namespace

TovaniAudioProcessor::TovaniAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      valueTreeState (*this, nullptr, "APVT", createParameterLayout())
{
    modelJson96 = parseModel (BinaryData::model96_json, BinaryData::model96_jsonSize);
    modelJson192 = parseModel (BinaryData::model192_json, BinaryData::model192_jsonSize);

    subnet96.loadParams (modelJson96);
    gru96.loadParams (modelJson96);
    subnet192.loadParams (modelJson192);
    gru192.loadParams (modelJson192);

    inputGainParam = valueTreeState.getRawParameterValue (ParameterIDs::inputGain);
    outputGainParam = valueTreeState.getRawParameterValue (ParameterIDs::outputGain);
    depthParam = valueTreeState.getRawParameterValue (ParameterIDs::depth);
    depthEqParam = valueTreeState.getRawParameterValue (ParameterIDs::depthEq);
    depthEqSwitchParam = valueTreeState.getRawParameterValue (ParameterIDs::depthEqSwitch);
    bypassParam = valueTreeState.getRawParameterValue (ParameterIDs::bypass);

    prevOutputGain = readOutputGain();
    prevInputGain = readInputGain();

    lastDepthControl = readDepthControl();
    lastDepthEqControl = readDepthEqControl();
}

TovaniAudioProcessor::~TovaniAudioProcessor() = default;

const juce::String TovaniAudioProcessor::getName() const { return "Lumbrane"; }

void TovaniAudioProcessor::releaseResources() {}

double TovaniAudioProcessor::getTailLengthSeconds() const { return 0.0; }
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

float TovaniAudioProcessor::readDepthControl() const noexcept
{
    return finiteOr (depthControlFrom (depthParam->load()), lastDepthControl);
}

float TovaniAudioProcessor::readDepthEqControl() const noexcept
{
    return finiteOr (depthEqControlFrom (depthEqParam->load(), depthEqSwitchParam->load()), lastDepthEqControl);
}

float TovaniAudioProcessor::readInputGain() const noexcept
{
    return finiteOr (gainFromDecibels (inputGainParam->load()), prevInputGain);
}

float TovaniAudioProcessor::readOutputGain() const noexcept
{
    return finiteOr (gainFromDecibels (outputGainParam->load()), prevOutputGain);
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new TovaniAudioProcessor();
}
