#pragma once

// Loads the built bundles as a DAW does, through JUCE's VST3 and LV2 hosting classes, and plays
// signals through them block by block.

#include <juce_audio_processors/juce_audio_processors.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace host
{
inline std::unique_ptr<juce::AudioPluginInstance> loadPlugin (const std::string& formatName, const juce::String& vst3Binary,
                                                              const juce::String& lv2Binary, const juce::String& lv2Uri,
                                                              double rate, int block, juce::String& error)
{
    juce::AudioPluginFormatManager manager;
    juce::OwnedArray<juce::PluginDescription> found;
    juce::String identifier;
    juce::AudioPluginFormat* format = nullptr;

    if (formatName == "VST3")
    {
        format = new juce::VST3PluginFormat();
        // The binary sits at Lumbrane.vst3/Contents/x86_64-linux/Lumbrane.so.
        identifier = juce::File (vst3Binary).getParentDirectory().getParentDirectory().getParentDirectory().getFullPathName();
    }
    else
    {
        format = new juce::LV2PluginFormat();
        format->searchPathsForPlugins (juce::FileSearchPath (juce::File (lv2Binary).getParentDirectory().getParentDirectory().getFullPathName()), false);
        identifier = lv2Uri;
    }

    manager.addFormat (format);
    format->findAllTypesForFile (found, identifier);

    if (found.isEmpty())
    {
        error = "no plug-in found at " + identifier;
        return nullptr;
    }

    return manager.createPluginInstance (*found[0], rate, block, error);
}

inline juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& plugin, const juce::String& name)
{
    for (auto* p : plugin.getParameters())
        if (p->getName (100) == name)
            return p;
    return nullptr;
}

/** Sets a parameter from its value in its own units (dB, Depth steps ...), as a host's automation would. */
inline bool setParameter (juce::AudioPluginInstance& plugin, const juce::String& name, float value)
{
    auto* p = findParameter (plugin, name);
    if (p == nullptr)
        return false;

    if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (p))
        p->setValueNotifyingHost (ranged->convertTo0to1 (value));
    else
    {
        // Hosted parameters carry no range object: find the normalised values whose text matches
        // and take the middle of them. A stepped parameter shows a value over a whole band of
        // normalised values; at the band's edge the plug-in may snap to the step below.
        const auto edge = [p, value] (bool including)
        {
            float lo = 0.0f, hi = 1.0f;
            for (int i = 0; i < 40; ++i)
            {
                const float mid = 0.5f * (lo + hi);
                const auto shown = p->getText (mid, 32).getFloatValue();
                (shown < value || (including && shown <= value) ? lo : hi) = mid;
            }
            return 0.5f * (lo + hi);
        };
        p->setValueNotifyingHost (0.5f * (edge (false) + edge (true)));
    }
    return true;
}

inline bool prepareStereo (juce::AudioPluginInstance& plugin, double rate, int block)
{
    juce::AudioProcessor::BusesLayout stereo;
    stereo.inputBuses.add (juce::AudioChannelSet::stereo());
    stereo.outputBuses.add (juce::AudioChannelSet::stereo());
    if (! plugin.setBusesLayout (stereo))
        return false;
    plugin.setRateAndBufferSizeDetails (rate, block);
    plugin.prepareToPlay (rate, block);
    return true;
}

/** Plays a mono signal on both channels through the plug-in and returns the left output.
    nextLength (done so far) gives each block's length, else every block is maxBlock long and the
    last one is padded with silence, as a DAW plays; beforeBlock (position) may move parameters. */
inline std::vector<float> play (juce::AudioPluginInstance& plugin, const std::vector<float>& input, int maxBlock,
                                const std::function<int (std::size_t)>& nextLength = {},
                                const std::function<void (std::size_t)>& beforeBlock = {})
{
    std::vector<float> output (input.size());
    juce::AudioBuffer<float> buffer (2, maxBlock);
    juce::MidiBuffer midi;

    for (std::size_t done = 0; done < input.size();)
    {
        const int n = nextLength ? nextLength (done) : maxBlock;
        const auto used = std::min<std::size_t> ((std::size_t) n, input.size() - done);
        if (beforeBlock)
            beforeBlock (done);
        buffer.setSize (2, n, false, false, true);
        buffer.clear();
        for (int c = 0; c < 2; ++c)
            buffer.copyFrom (c, 0, input.data() + done, (int) used);
        plugin.processBlock (buffer, midi);
        std::copy (buffer.getReadPointer (0), buffer.getReadPointer (0) + used, output.data() + done);
        done += used;
    }
    return output;
}

inline std::vector<float> sine (double frequency, double dbfs, double rate, std::size_t length)
{
    std::vector<float> x (length);
    const double amplitude = std::pow (10.0, dbfs / 20.0);
    for (std::size_t i = 0; i < length; ++i)
        x[i] = (float) (amplitude * std::sin (2.0 * juce::MathConstants<double>::pi * frequency * (double) i / rate));
    return x;
}
} // namespace host
