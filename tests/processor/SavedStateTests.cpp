// The saved state: the parameter tree in the framework's binary XML, and what a restore accepts.

#include "ProcessorHarness.h"

#include <gtest/gtest.h>

namespace
{
juce::MemoryBlock saved (TovaniAudioProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

juce::MemoryBlock blockFor (const juce::String& xmlText)
{
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*juce::parseXML (xmlText), block);
    return block;
}

float value (TovaniAudioProcessor& p, const char* id) { return p.valueTreeState.getRawParameterValue (id)->load(); }

void set (TovaniAudioProcessor& p, const char* id, float v)
{
    auto* parameter = p.valueTreeState.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (v));
}

const char* const allIds[] = { "Input Gain", "Output Gain", "Depth", "Depth EQ", "Depth EQ Switch", "IO Link Switch", "Bypass" };
} // namespace

TEST (SavedState, RoundTripsDefaultsAndChangedValues)
{
    TovaniAudioProcessor fresh, restored;
    const auto defaults = saved (fresh);
    restored.setStateInformation (defaults.getData(), (int) defaults.getSize());
    for (auto* id : allIds)
        EXPECT_EQ (value (restored, id), value (fresh, id)) << id;

    const auto xml = juce::AudioProcessor::getXmlFromBinary (defaults.getData(), (int) defaults.getSize());
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "APVT");
    EXPECT_EQ (xml->getNumChildElements(), 7);

    TovaniAudioProcessor changed, target;
    set (changed, "Input Gain", -3.25f);
    set (changed, "Output Gain", 7.5f);
    set (changed, "Depth", -12.3f);
    set (changed, "Depth EQ", 2.7f);
    set (changed, "Depth EQ Switch", 0.0f);
    set (changed, "IO Link Switch", 1.0f);
    set (changed, "Bypass", 1.0f);
    const auto block = saved (changed);
    target.setStateInformation (block.getData(), (int) block.getSize());

    for (auto* id : allIds)
        EXPECT_EQ (value (target, id), value (changed, id)) << id;
    EXPECT_FLOAT_EQ (value (target, "Depth"), -12.3f);
    EXPECT_EQ (value (target, "Bypass"), 1.0f);
}

TEST (SavedState, IgnoresBlocksThatAreNotOurs)
{
    TovaniAudioProcessor p;
    set (p, "Depth", 5.0f);

    const char eightBytes[8] = { 'V', 'C', '2', '!', 4, 0, 0, 0 };
    p.setStateInformation (nullptr, 0);
    p.setStateInformation (eightBytes, 8);

    auto wrongMagic = saved (p);
    static_cast<char*> (wrongMagic.getData())[0] ^= 0x5a;
    set (p, "Depth", 6.0f);
    p.setStateInformation (wrongMagic.getData(), (int) wrongMagic.getSize());

    const auto otherTag = blockFor (R"(<OTHER><PARAM id="Depth" value="-9"/></OTHER>)");
    p.setStateInformation (otherTag.getData(), (int) otherTag.getSize());

    EXPECT_EQ (value (p, "Depth"), 6.0f);
}

TEST (SavedState, RefusesTextThatIsNotUtf8)
{
    // Found by fuzzing: invalid UTF-8 inside an attribute sent the framework's XML reader past
    // the end of its buffer.
    TovaniAudioProcessor p;
    set (p, "Depth", 4.0f);

    juce::String text ("<APVT><PARAM id=\"Depth\" value=\"-3\"/></APVT>");
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*juce::parseXML (text), block);
    auto* bytes = static_cast<char*> (block.getData());
    const std::string marker = "-3";
    const auto at = std::search (bytes, bytes + block.getSize(), marker.begin(), marker.end()) - bytes;
    ASSERT_LT (at, (long) block.getSize());
    bytes[at] = (char) 0xff;
    p.setStateInformation (block.getData(), (int) block.getSize());
    EXPECT_EQ (value (p, "Depth"), 4.0f);

    bytes[at] = '-';   // the same block, intact, restores
    p.setStateInformation (block.getData(), (int) block.getSize());
    EXPECT_EQ (value (p, "Depth"), -3.0f);
}

TEST (SavedState, RefusesTextTheXmlReaderWouldLoopOn)
{
    // Found by fuzzing: a processing instruction followed by text inside an element sent the
    // framework's XML reader round the same characters for ever.
    TovaniAudioProcessor p;
    set (p, "Depth", 4.0f);

    const auto wrap = [] (const std::string& text)
    {
        juce::MemoryBlock block;
        juce::MemoryOutputStream out (block, false);
        out.writeInt (0x21324356);
        out.writeInt ((int) text.size() + 1);
        out.write (text.c_str(), text.size() + 1);
        return block;
    };

    const auto looping = wrap (R"(<APVT><?pi?>text<PARAM id="Depth" value="-3"/></APVT>)");
    p.setStateInformation (looping.getData(), (int) looping.getSize());
    EXPECT_EQ (value (p, "Depth"), 4.0f);

    const auto withDeclaration = wrap (R"(<?xml version="1.0" encoding="UTF-8"?> <APVT><PARAM id="Depth" value="-3"/></APVT>)");
    p.setStateInformation (withDeclaration.getData(), (int) withDeclaration.getSize());
    EXPECT_EQ (value (p, "Depth"), -3.0f);
}

TEST (SavedState, AcceptsAnyCaseAndPartialDocuments)
{
    TovaniAudioProcessor p;
    set (p, "Output Gain", -2.0f);
    set (p, "Input Gain", 5.0f);

    const auto lower = blockFor (R"(<apvt><PARAM id="Depth" value="100"/><PARAM id="Nope" value="1"/><PARAM id="Input Gain"/></apvt>)");
    p.setStateInformation (lower.getData(), (int) lower.getSize());

    EXPECT_EQ (value (p, "Depth"), 15.0f);          // clamped to the top of its range
    EXPECT_EQ (value (p, "Output Gain"), -2.0f);    // absent from the document: kept
    EXPECT_EQ (value (p, "Input Gain"), 0.0f);      // named without a value: its default
    EXPECT_EQ (value (p, "Depth EQ"), 1.0f);
}
