#include "Parameters.h"

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout()
{
    using Float = juce::AudioParameterFloat;
    using Bool = juce::AudioParameterBool;
    using Range = juce::NormalisableRange<float>;

    const auto floatParameter = [] (const char* id, Range range, float defaultValue)
    {
        return std::make_unique<Float> (juce::ParameterID { id, 1 }, id, range, defaultValue);
    };

    const auto boolParameter = [] (const char* id, bool defaultValue)
    {
        return std::make_unique<Bool> (juce::ParameterID { id, 1 }, id, defaultValue);
    };

    juce::AudioProcessorValueTreeState::ParameterLayout layout;
    layout.add (floatParameter (ParameterIDs::inputGain, Range (-20.0f, 20.0f, 0.01f), 0.0f),
                floatParameter (ParameterIDs::outputGain, Range (-20.0f, 20.0f, 0.01f), 0.0f),
                floatParameter (ParameterIDs::depth, Range (-15.0f, 15.0f, 0.1f), 0.0f),
                floatParameter (ParameterIDs::depthEq, Range (1.0f, 4.0f, 0.1f), 1.0f),
                boolParameter (ParameterIDs::depthEqSwitch, true),
                boolParameter (ParameterIDs::ioLinkSwitch, false),
                boolParameter (ParameterIDs::bypass, false));
    return layout;
}
