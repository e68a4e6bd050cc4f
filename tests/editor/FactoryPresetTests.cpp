// The five factory presets: each writes its row into the widgets, and through their
// attachments into the parameters, without the IO link interfering.

#include "EditorHarness.h"

#include <gtest/gtest.h>

namespace
{
struct Row
{
    int id;
    float input, output;
    bool link;
    float depth, depthEq;
};

const Row rows[] {
    { 1, 0.0f, 0.0f, false, 0.0f, 1.0f },
    { 2, 0.0f, -0.5f, false, 7.0f, 1.0f },
    { 3, 0.0f, -0.3f, false, 3.0f, 3.0f },
    { 4, 0.0f, 0.0f, false, 11.0f, 4.0f },
    { 5, 7.0f, -7.0f, true, 0.0f, 1.0f },
};

void choose (EditorHarness& h, int id)
{
    // What the menu does after a choice.
    h->presetSegment.currentPreset = id;
    h->presetSegment.presetChanged = true;
    h->childrenChanged();
    h.pump (50);
}

struct ParameterChanges : juce::AudioProcessorValueTreeState::Listener
{
    int count = 0;
    void parameterChanged (const juce::String&, float) override { ++count; }
};

TEST (FactoryPresets, EachPresetWritesItsRowIntoWidgetsAndParameters)
{
    for (const auto& row : rows)
    {
        SCOPED_TRACE (PresetSegment::presets[(size_t) row.id - 1].name);
        EditorHarness h;
        // Start away from every preset, with the link on and the Depth EQ switch off.
        h.setParameter ("Input Gain", -3.0f);
        h.setParameter ("Output Gain", 3.0f);
        h.setParameter ("IO Link Switch", 1.0f);
        h.setParameter ("Depth", -9.0f);
        h.setParameter ("Depth EQ", 2.0f);
        h.setParameter ("Depth EQ Switch", 0.0f);
        auto& e = h.open();

        choose (h, row.id);

        // The faders snap to the parameters' 0.01 dB step in single precision.
        EXPECT_NEAR (e.ioSegment.inputSlider.getValue(), row.input, 1e-5);
        EXPECT_NEAR (e.ioSegment.outputSlider.getValue(), row.output, 1e-5);
        EXPECT_EQ (e.lastInput, e.ioSegment.inputSlider.getValue());
        EXPECT_EQ (e.lastOutput, e.ioSegment.outputSlider.getValue());
        EXPECT_EQ (e.ioSegment.linkToggleBtn.getToggleState(), row.link);
        EXPECT_DOUBLE_EQ (e.depthSegment.depthSlider.getValue(), row.depth);
        EXPECT_DOUBLE_EQ (e.eqSegment.eqSlider.getValue(), row.depthEq);
        EXPECT_TRUE (e.eqSegment.eqToggleBtn.getToggleState());
        EXPECT_TRUE (e.eqSegment.eqSlider.isEnabled());

        EXPECT_NEAR (h.parameter ("Input Gain"), row.input, 1e-5f);
        EXPECT_NEAR (h.parameter ("Output Gain"), row.output, 1e-5f);
        EXPECT_FLOAT_EQ (h.parameter ("IO Link Switch"), row.link ? 1.0f : 0.0f);
        EXPECT_FLOAT_EQ (h.parameter ("Depth"), row.depth);
        EXPECT_FLOAT_EQ (h.parameter ("Depth EQ"), row.depthEq);
        EXPECT_FLOAT_EQ (h.parameter ("Depth EQ Switch"), 1.0f);
        EXPECT_EQ (e.depthSegment.sliderLabel.getText(), juce::String (row.depth, 1));
    }
}

TEST (FactoryPresets, MoreColorLeavesTheLinkOnAndTheFadersExactlyAtPlusAndMinusSeven)
{
    EditorHarness h;
    auto& e = h.open();
    choose (h, 5);
    h.pump (100);

    EXPECT_TRUE (e.ioSegment.linkToggleBtn.getToggleState());
    EXPECT_EQ (e.ioSegment.inputSlider.getValue(), 7.0);
    EXPECT_EQ (e.ioSegment.outputSlider.getValue(), -7.0);

    // And the link works from there.
    {
        const juce::Slider::ScopedDragNotification gesture (e.ioSegment.inputSlider);
        e.ioSegment.inputSlider.setValue (8.0, juce::sendNotificationSync);
    }
    EXPECT_EQ (e.ioSegment.outputSlider.getValue(), -8.0);
}

TEST (FactoryPresets, ChoosingAgainReappliesAndUnknownOrNoChoiceChangesNothing)
{
    EditorHarness h;
    auto& e = h.open();
    choose (h, 2);
    e.depthSegment.depthSlider.setValue (-4.0, juce::sendNotificationSync);
    choose (h, 2);
    EXPECT_DOUBLE_EQ (e.depthSegment.depthSlider.getValue(), 7.0);
    EXPECT_FALSE (e.presetSegment.presetChanged);

    e.depthSegment.depthSlider.setValue (-4.0, juce::sendNotificationSync);
    choose (h, 0);
    choose (h, 6);
    EXPECT_DOUBLE_EQ (e.depthSegment.depthSlider.getValue(), -4.0);

    // Children coming and going (the menu's temporary area) apply nothing by themselves.
    e.presetSegment.currentPreset = 4;
    juce::Component area;
    e.addAndMakeVisible (area);
    e.removeChildComponent (&area);
    h.pump (50);
    EXPECT_DOUBLE_EQ (e.depthSegment.depthSlider.getValue(), -4.0);
}

TEST (FactoryPresets, PresetMatchingTheCurrentValuesChangesNoParameter)
{
    EditorHarness h;
    h.open();
    h.pump (50);

    ParameterChanges changes;
    for (auto* id : { "Input Gain", "Output Gain", "IO Link Switch", "Depth", "Depth EQ", "Depth EQ Switch" })
        h.host->valueTreeState.addParameterListener (id, &changes);

    choose (h, 1);   // "Default" equals the parameters' defaults
    EXPECT_EQ (changes.count, 0);

    for (auto* id : { "Input Gain", "Output Gain", "IO Link Switch", "Depth", "Depth EQ", "Depth EQ Switch" })
        h.host->valueTreeState.removeParameterListener (id, &changes);
}
} // namespace
