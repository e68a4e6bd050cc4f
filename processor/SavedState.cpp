#include "PluginProcessor.h"

// The saved state is the parameter tree alone, as the framework's binary-wrapped XML.

void TovaniAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto state = valueTreeState.copyState();

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

void TovaniAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto xml = getXmlFromBinary (data, sizeInBytes);

    if (xml == nullptr || ! xml->hasTagName (valueTreeState.state.getType()))
        return;

    auto restored = juce::ValueTree::fromXml (*xml);

    // The framework would reset a parameter that the document leaves out to its default; a
    // partial document must change only the parameters it names.
    static const juce::Identifier paramType ("PARAM"), idProperty ("id"), valueProperty ("value");

    for (auto* parameter : getParameters())
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);

        if (ranged == nullptr || restored.getChildWithProperty (idProperty, ranged->paramID).isValid())
            continue;

        juce::ValueTree child (paramType);
        child.setProperty (idProperty, ranged->paramID, nullptr);
        child.setProperty (valueProperty, ranged->convertFrom0to1 (ranged->getValue()), nullptr);
        restored.appendChild (child, nullptr);
    }

    valueTreeState.replaceState (restored);
}
