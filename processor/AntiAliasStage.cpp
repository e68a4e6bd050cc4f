#include "PluginProcessor.h"

// Built with reassociation allowed (see CMakeLists.txt), so that the compiler can vectorise the
// filter's 46-tap dot products; the sums differ from the sequential ones only by rounding.

void TovaniAudioProcessor::applyAntiAliasFilter() noexcept
{
    juce::dsp::AudioBlock<float> modelBlock (modelBuffer);
    antiAliasFilter.process (juce::dsp::ProcessContextReplacing<float> (modelBlock));
}
