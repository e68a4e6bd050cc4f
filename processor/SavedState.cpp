#include "PluginProcessor.h"

#include <string_view>

// The saved state is the parameter tree alone, as the framework's binary-wrapped XML.

namespace
{
/** The text of a binary-wrapped XML block, as the framework would read it, or nothing when the
    block holds no text. */
std::string_view wrappedText (const void* data, int sizeInBytes)
{
    constexpr int headerBytes = 8;

    if (data == nullptr || sizeInBytes <= headerBytes)
        return {};

    const auto length = static_cast<int> (juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4)));
    const auto textBytes = juce::jmin (sizeInBytes - headerBytes, length);

    if (textBytes <= 0)
        return {};

    std::string_view text (static_cast<const char*> (data) + headerBytes, static_cast<size_t> (textBytes));
    return text.substr (0, text.find ('\0'));
}

/** The framework's XML reader expects text it can trust: it walks past the end of text that is
    not valid UTF-8, and it loops for ever on a processing instruction followed by text inside an
    element. Our documents never hold either, so a block that does is refused before it gets there. */
bool readerCanBeTrustedWith (std::string_view text)
{
    if (! juce::CharPointer_UTF8::isValidString (text.data(), static_cast<int> (text.size())))
        return false;

    const auto firstNonSpace = text.find_first_not_of (" \t\r\n");

    if (firstNonSpace != std::string_view::npos && text.compare (firstNonSpace, 5, "<?xml") == 0)
    {
        const auto declarationEnd = text.find ("?>", firstNonSpace);

        if (declarationEnd == std::string_view::npos)
            return false;

        text.remove_prefix (declarationEnd + 2);
    }

    return text.find ("<?") == std::string_view::npos;
}
} // namespace

void TovaniAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto state = valueTreeState.copyState();

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

void TovaniAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (! readerCanBeTrustedWith (wrappedText (data, sizeInBytes)))
        return;

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
