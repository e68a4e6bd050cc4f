// The built bundles as hosts see them: loaded through JUCE's VST3 and LV2 hosting classes.

#include "PluginHost.h"

#include <support/HostileStates.h>

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace
{
struct Format
{
    const char* name;
};

std::unique_ptr<juce::AudioPluginInstance> load (const std::string& formatName, double rate, int block)
{
    juce::String error;
    auto instance = host::loadPlugin (formatName, LUMBRANE_VST3_BINARY, LUMBRANE_LV2_BINARY, LUMBRANE_LV2_URI, rate, block, error);
    EXPECT_TRUE (error.isEmpty()) << error;
    return instance;
}

using host::findParameter;
using host::prepareStereo;

class HostedPlugin : public ::testing::TestWithParam<std::string>
{
};

const char* const parameterNames[] = { "Input Gain", "Output Gain", "Depth", "Depth EQ",
                                        "Depth EQ Switch", "IO Link Switch", "Bypass" };
} // namespace

TEST_P (HostedPlugin, DescribesItselfWithItsParametersAndLayouts)
{
    auto plugin = load (GetParam(), 48000.0, 512);
    ASSERT_NE (plugin, nullptr);

    EXPECT_EQ (plugin->getName(), "Lumbrane");
    EXPECT_EQ (plugin->getPluginDescription().manufacturerName, "Quillfern");
    EXPECT_EQ (plugin->getLatencySamples(), 0);

    for (auto* name : parameterNames)
        EXPECT_NE (findParameter (*plugin, name), nullptr) << name;

    const auto layout = [] (juce::AudioChannelSet in, juce::AudioChannelSet out)
    {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add (in);
        l.outputBuses.add (out);
        return l;
    };
    EXPECT_TRUE (plugin->checkBusesLayoutSupported (layout (juce::AudioChannelSet::stereo(), juce::AudioChannelSet::stereo())));
    if (GetParam() == "VST3")   // an LV2 bundle fixes its ports; only the VST3 negotiates
    {
        EXPECT_TRUE (plugin->checkBusesLayoutSupported (layout (juce::AudioChannelSet::mono(), juce::AudioChannelSet::mono())));
        EXPECT_FALSE (plugin->checkBusesLayoutSupported (layout (juce::AudioChannelSet::mono(), juce::AudioChannelSet::stereo())));
    }
}

TEST_P (HostedPlugin, ProcessesAudioAtEveryCommonRate)
{
    for (const double rate : { 44100.0, 48000.0, 96000.0, 192000.0 })
    {
        SCOPED_TRACE (rate);
        auto plugin = load (GetParam(), rate, 512);
        ASSERT_NE (plugin, nullptr);
        ASSERT_TRUE (prepareStereo (*plugin, rate, 512));

        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        double phase = 0.0;
        float peak = 0.0f;
        bool finite = true;

        for (int block = 0; block < 40; ++block)
        {
            for (int i = 0; i < 512; ++i, phase += 2.0 * juce::MathConstants<double>::pi * 440.0 / rate)
                for (int c = 0; c < 2; ++c)
                    buffer.setSample (c, i, 0.3f * (float) std::sin (phase));

            plugin->processBlock (buffer, midi);

            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 512; ++i)
                    finite = finite && std::isfinite (buffer.getSample (c, i));
            if (block >= 10)
                peak = std::max (peak, buffer.getMagnitude (0, 512));
        }

        EXPECT_TRUE (finite);
        EXPECT_GT (peak, 0.01f);
        plugin->releaseResources();
    }
}

TEST_P (HostedPlugin, StateRoundTripsThroughTheHostInterface)
{
    auto source = load (GetParam(), 48000.0, 512);
    auto target = load (GetParam(), 48000.0, 512);
    ASSERT_NE (source, nullptr);
    ASSERT_NE (target, nullptr);

    // Normalised values: Depth -9.5 of -15..15, Depth EQ 3.2 of 1..4, Output Gain 4.25 of -20..20.
    const std::pair<const char*, float> changes[] = { { "Depth", 5.5f / 30.0f }, { "Depth EQ", 2.2f / 3.0f },
                                                      { "Output Gain", 24.25f / 40.0f }, { "IO Link Switch", 1.0f } };
    for (const auto& [name, value] : changes)
    {
        auto* p = findParameter (*source, name);
        ASSERT_NE (p, nullptr) << name;
        p->setValueNotifyingHost (value);
    }

    // An LV2 plug-in sees its control ports, and its host sees restored values, only in a run.
    const auto runOneBlock = [] (juce::AudioPluginInstance& plugin)
    {
        ASSERT_TRUE (prepareStereo (plugin, 48000.0, 512));
        juce::AudioBuffer<float> buffer (2, 512);
        buffer.clear();
        juce::MidiBuffer midi;
        plugin.processBlock (buffer, midi);
    };

    runOneBlock (*source);
    juce::MemoryBlock state;
    source->getStateInformation (state);
    target->setStateInformation (state.getData(), (int) state.getSize());
    runOneBlock (*target);

    for (const auto& [name, value] : changes)
        EXPECT_NEAR (findParameter (*target, name)->getValue(), findParameter (*source, name)->getValue(), 1e-4f) << name;
}

namespace
{
/** The plug-in's own state block inside what its host saves: the VST3 host's XML with the
    component state, or the LV2 host's Turtle with the plug-in's state string. */
juce::MemoryBlock hostStateAround (juce::AudioPluginInstance& plugin, const std::string& block)
{
    juce::MemoryBlock hostState;
    plugin.getStateInformation (hostState);
    const auto encoded = juce::MemoryBlock (block.data(), block.size()).toBase64Encoding();

    if (auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize()))
    {
        auto* component = xml->getChildByName ("IComponent");
        component->deleteAllChildElements();
        component->addTextElement (encoded);
        juce::AudioProcessor::copyXmlToBinary (*xml, hostState);
        return hostState;
    }

    const auto turtle = hostState.toString();
    const auto start = turtle.indexOf (turtle.indexOf (":StateString>"), "\"") + 1;
    const auto end = turtle.indexOf (start, "\"");
    const auto replaced = turtle.substring (0, start) + encoded + turtle.substring (end);
    return { replaced.toRawUTF8(), replaced.getNumBytesAsUTF8() };
}

/** The plug-in's own state block from what its host saves. */
juce::MemoryBlock ownState (juce::AudioPluginInstance& plugin)
{
    juce::MemoryBlock hostState, block;
    plugin.getStateInformation (hostState);

    if (auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize()))
        block.fromBase64Encoding (xml->getChildByName ("IComponent")->getAllSubText());
    else
    {
        const auto turtle = hostState.toString();
        const auto start = turtle.indexOf (turtle.indexOf (":StateString>"), "\"") + 1;
        block.fromBase64Encoding (turtle.substring (start, turtle.indexOf (start, "\"")));
    }
    return block;
}

/** Restores a state into a prepared plug-in and runs a block, as a host opening a project does. */
void restoreAndPlay (juce::AudioPluginInstance& plugin, const std::string& block)
{
    const auto hostState = hostStateAround (plugin, block);
    plugin.setStateInformation (hostState.getData(), (int) hostState.getSize());
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    for (int i = 0; i < 512; ++i)
        buffer.setSample (0, i, 0.25f * (float) std::sin (0.05 * i)), buffer.setSample (1, i, buffer.getSample (0, i));
    plugin.processBlock (buffer, midi);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 512; ++i)
            ASSERT_TRUE (std::isfinite (buffer.getSample (c, i)));
}

std::map<juce::String, float> values (juce::AudioPluginInstance& plugin)
{
    std::map<juce::String, float> v;
    for (auto* name : parameterNames)
        v[name] = findParameter (plugin, name)->getValue();
    return v;
}

/** Each hostile state in a process of its own (CTest runs every case alone), so that a crash or
    a runaway stack fails that case. */
class HostileState : public ::testing::TestWithParam<std::tuple<std::string, int>>
{
};
} // namespace

TEST_P (HostileState, ChangesNothingAndTheAudioGoesOn)
{
    const auto& [format, index] = GetParam();
    auto plugin = load (format, 48000.0, 512);
    ASSERT_NE (plugin, nullptr);
    ASSERT_TRUE (prepareStereo (*plugin, 48000.0, 512));
    findParameter (*plugin, "Depth")->setValueNotifyingHost (0.75f);
    findParameter (*plugin, "Output Gain")->setValueNotifyingHost (0.25f);
    restoreAndPlay (*plugin, HostileStates::wrap (""));
    const auto before = values (*plugin);

    restoreAndPlay (*plugin, HostileStates::wrap (HostileStates::refusedWhole()[(size_t) index].text));
    EXPECT_EQ (values (*plugin), before);
}

TEST_P (HostedPlugin, SavesOnlyItsOwnParametersWithFiniteValues)
{
    auto plugin = load (GetParam(), 48000.0, 512);
    ASSERT_NE (plugin, nullptr);
    ASSERT_TRUE (prepareStereo (*plugin, 48000.0, 512));
    findParameter (*plugin, "Depth")->setValueNotifyingHost (0.75f);
    findParameter (*plugin, "Input Gain")->setValueNotifyingHost (0.25f);
    findParameter (*plugin, "Depth EQ")->setValueNotifyingHost (0.5f);
    restoreAndPlay (*plugin, HostileStates::wrap (""));
    auto expected = values (*plugin);

    restoreAndPlay (*plugin, HostileStates::wrap (HostileStates::nonFiniteValues()));
    expected["Output Gain"] = 16.5f / 40.0f;
    restoreAndPlay (*plugin, HostileStates::wrap (HostileStates::junkAroundAChild()));
    expected["Depth"] = 21.0f / 30.0f;
    for (const auto& [name, value] : values (*plugin))
        EXPECT_NEAR (value, expected[name], 1e-5f) << name;

    // What it saves now names the seven parameters, each once, with a finite value, and nothing else.
    const auto state = ownState (*plugin);
    const auto xml = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize());
    ASSERT_NE (xml, nullptr);
    std::set<juce::String> named;
    for (auto* child : xml->getChildIterator())
    {
        EXPECT_EQ (child->getTagName(), "PARAM");
        EXPECT_TRUE (std::isfinite (child->getDoubleAttribute ("value", std::nan (""))) && ! child->getStringAttribute ("value").containsIgnoreCase ("n"))
            << child->toString (juce::XmlElement::TextFormat().singleLine());
        named.insert (child->getStringAttribute ("id"));
    }
    EXPECT_EQ (xml->getNumChildElements(), 7);
    EXPECT_EQ (named, std::set<juce::String> (std::begin (parameterNames), std::end (parameterNames)));
}

INSTANTIATE_TEST_SUITE_P (Formats, HostedPlugin, ::testing::Values ("VST3", "LV2"),
                          [] (const auto& info) { return info.param; });

INSTANTIATE_TEST_SUITE_P (Formats, HostileState,
                          ::testing::Combine (::testing::Values ("VST3", "LV2"),
                                              ::testing::Range (0, (int) HostileStates::refusedWhole().size())),
                          [] (const auto& info)
                          {
                              return std::get<0> (info.param) + "_" + HostileStates::refusedWhole()[(size_t) std::get<1> (info.param)].name;
                          });
