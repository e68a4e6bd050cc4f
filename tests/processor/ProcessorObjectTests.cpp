// What the framework and the host ask of a new processor: identity, parameters, layouts.

#include "ProcessorHarness.h"

#include <gtest/gtest.h>

TEST (ProcessorObject, AnswersTheHostsQuestions)
{
    TovaniAudioProcessor p;
    EXPECT_EQ (p.getName(), "Lumbrane");
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_GT (p.getTailLengthSeconds(), 0.0);   // the network rings after the input stops
    EXPECT_TRUE (p.hasEditor());
    EXPECT_EQ (p.getNumPrograms(), 1);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    p.setCurrentProgram (3);
    p.changeProgramName (0, "Renamed");
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (p.getProgramName (0), "");
    EXPECT_EQ (p.getLatencySamples(), 0);
}

TEST (ProcessorObject, DeclaresTheSevenParametersInOrder)
{
    TovaniAudioProcessor p;
    struct Expected
    {
        const char* id;
        float start, end, interval, defaultValue;
        bool isSwitch;
    };
    const Expected expected[] = {
        { "Input Gain", -20.0f, 20.0f, 0.01f, 0.0f, false },
        { "Output Gain", -20.0f, 20.0f, 0.01f, 0.0f, false },
        { "Depth", -15.0f, 15.0f, 0.1f, 0.0f, false },
        { "Depth EQ", 1.0f, 4.0f, 0.1f, 1.0f, false },
        { "Depth EQ Switch", 0.0f, 1.0f, 1.0f, 1.0f, true },
        { "IO Link Switch", 0.0f, 1.0f, 1.0f, 0.0f, true },
        { "Bypass", 0.0f, 1.0f, 1.0f, 0.0f, true },
    };

    const auto& parameters = p.getParameters();
    ASSERT_EQ (parameters.size(), 7);

    for (int i = 0; i < 7; ++i)
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameters[i]);
        ASSERT_NE (ranged, nullptr);
        const auto& e = expected[i];
        SCOPED_TRACE (e.id);
        EXPECT_EQ (ranged->getParameterID(), e.id);
        EXPECT_EQ (ranged->getName (100), e.id);
        EXPECT_EQ (ranged->getLabel(), "");
        EXPECT_EQ (dynamic_cast<juce::AudioParameterBool*> (ranged) != nullptr, e.isSwitch);
        const auto& range = ranged->getNormalisableRange();
        EXPECT_EQ (range.start, e.start);
        EXPECT_EQ (range.end, e.end);
        EXPECT_FLOAT_EQ (range.interval, e.interval);
        EXPECT_EQ (range.skew, 1.0f);
        EXPECT_FLOAT_EQ (ranged->convertFrom0to1 (ranged->getDefaultValue()), e.defaultValue);
        EXPECT_FLOAT_EQ (p.valueTreeState.getRawParameterValue (e.id)->load(), e.defaultValue);
    }
    EXPECT_EQ (p.getBypassParameter(), p.valueTreeState.getParameter ("Bypass"));   // one bypass, ours
}

TEST (ProcessorObject, StartsFromTheDefaults)
{
    TovaniAudioProcessor p;
    const auto controls = p.readControls();
    EXPECT_EQ (controls.inputGain, 1.0f);
    EXPECT_EQ (controls.outputGain, 1.0f);
    EXPECT_EQ (controls.depthControl, 0.0f);
    EXPECT_EQ (controls.eqControl, 0.2f);
    EXPECT_EQ (p.meterLevels.copy(), (std::vector<float> (2, MeterLevels::unmeasured)));
    EXPECT_EQ (p.sampleRate, 48000.0);
    EXPECT_FALSE (p.road.isPrepared());   // until the host prepares, blocks pass untouched
}

TEST (ProcessorObject, AcceptsOnlyMatchingMonoOrStereo)
{
    TovaniAudioProcessor p;
    using Set = juce::AudioChannelSet;
    const auto layout = [] (Set in, Set out)
    {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add (in);
        l.outputBuses.add (out);
        return l;
    };

    EXPECT_TRUE (p.checkBusesLayoutSupported (layout (Set::mono(), Set::mono())));
    EXPECT_TRUE (p.checkBusesLayoutSupported (layout (Set::stereo(), Set::stereo())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout (Set::mono(), Set::stereo())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout (Set::stereo(), Set::mono())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout (Set::disabled(), Set::stereo())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout (Set::create5point1(), Set::create5point1())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout (Set::discreteChannels (2), Set::discreteChannels (2))));

    juce::AudioProcessor::BusesLayout noOutput;
    noOutput.inputBuses.add (Set::stereo());
    EXPECT_FALSE (p.isBusesLayoutSupported (noOutput));
}

TEST (ProcessorObject, PreparesAgainAfterReleasingResources)
{
    ProcessorHarness h;
    h->releaseResources();
    h->prepareToPlay (44100.0, 256);
    // Until the reported latency has passed, silence is right.
    auto out = h.process (h.sineBlock (256));
    for (int done = 256; done <= h->getLatencySamples(); done += 256)
        out = h.process (h.sineBlock (256));
    EXPECT_TRUE (allFinite (out));
    EXPECT_GT (peakOf (out, 0), 0.0f);
}
