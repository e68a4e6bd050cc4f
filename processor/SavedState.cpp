#include "PluginProcessor.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The saved state is the parameter tree alone, as the framework's binary-wrapped XML.
//
// A saved state comes from the host, which may hand back anything: a corrupted project, another
// plug-in's data, a document built to hurt. The framework's XML reader is a general one (document
// type declarations, entities, unbounded nesting by recursion) and has hung, overrun and blown its
// stack on such input, so it never sees a saved state. What we write is one flat element of seven
// self-closing children with plain attributes; the reader below accepts that shape and little
// more, in one bounded pass, and hands the framework a tree it built itself.

namespace
{
/** The framework's binary XML header: its magic number and the text's length, little-endian. */
constexpr juce::uint32 xmlBlockMagic = 0x21324356;
constexpr int xmlBlockHeaderBytes = 8;

/** Ours are about 330 bytes with two levels; these bounds are far above anything we write and
    keep a hostile document's cost to a few tens of microseconds. */
constexpr size_t maximumTextBytes = 64 * 1024;
constexpr int maximumDepth = 8;

const juce::Identifier paramType ("PARAM"), idProperty ("id"), valueProperty ("value");

/** The text of a binary-wrapped XML block as the framework would take it (at most the length
    field's count of bytes, never past the block, up to a zero byte), or nothing when there is no
    text or more than the bound. */
std::optional<std::string_view> wrappedText (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= xmlBlockHeaderBytes || juce::ByteOrder::littleEndianInt (data) != xmlBlockMagic)
        return {};

    const auto length = static_cast<int> (juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4)));
    const auto available = static_cast<size_t> (juce::jmin (sizeInBytes - xmlBlockHeaderBytes, length));

    if (length <= 0 || available == 0)
        return {};

    const auto* text = static_cast<const char*> (data) + xmlBlockHeaderBytes;
    const auto* end = static_cast<const char*> (std::memchr (text, 0, juce::jmin (available, maximumTextBytes + 1)));
    const auto textBytes = end != nullptr ? static_cast<size_t> (end - text) : available;

    if (textBytes == 0 || textBytes > maximumTextBytes)
        return {};

    return std::string_view (text, textBytes);
}

/** What a document says about one parameter. */
struct NamedValue
{
    std::string_view id;
    std::optional<std::string_view> value;
};

/** A single pass over the text of a saved state, accepting an optional XML declaration and one
    root element whose content is only elements and white space. It collects the "id" and
    "value" attributes of the root's "PARAM" children and skips every other child. Anything else
    (document type declarations, entities, comments, CDATA, processing instructions, text,
    mismatched tags, nesting deeper than the bound) refuses the whole document. */
class StrictStateReader
{
public:
    explicit StrictStateReader (std::string_view textToRead) : text (textToRead) {}

    /** Reads the document, calling onParam for each "PARAM" child of the root in order; false
        when the document is refused (onParam may have been called before that). */
    template <typename OnRoot, typename OnParam>
    bool read (OnRoot&& onRoot, OnParam&& onParam)
    {
        if (text.find ('&') != std::string_view::npos
            || ! juce::CharPointer_UTF8::isValidString (text.data(), static_cast<int> (text.size())))
            return false;

        skipByteOrderMarkAndSpace();

        if (startsWith ("<?xml"))
        {
            const auto declarationEnd = text.find ("?>", pos);

            if (declarationEnd == std::string_view::npos || text.substr (pos + 2, declarationEnd - pos - 2).find_first_of ("<>") != std::string_view::npos)
                return false;

            pos = declarationEnd + 2;
            skipSpace();
        }

        std::string_view openNames[maximumDepth];
        int depth = 0;

        do
        {
            if (! consume ('<'))
                return false;

            if (consume ('/'))
            {
                if (depth == 0 || readName() != openNames[depth - 1])
                    return false;

                skipSpace();

                if (! consume ('>'))
                    return false;

                --depth;
            }
            else
            {
                const auto name = readName();

                if (name.empty() || depth == maximumDepth)
                    return false;

                NamedValue attributes;
                bool selfClosing = false;

                if (! readAttributes (attributes, selfClosing))
                    return false;

                if (depth == 0 && ! onRoot (name))
                    return false;

                if (depth == 1 && name == "PARAM")
                    onParam (attributes);

                if (! selfClosing)
                    openNames[depth++] = name;
            }

            skipSpace();
        }
        while (depth > 0);

        return pos == text.size();
    }

private:
    std::string_view text;
    size_t pos = 0;

    bool startsWith (std::string_view s) const noexcept { return text.compare (pos, s.size(), s) == 0; }

    bool consume (char c) noexcept
    {
        if (pos < text.size() && text[pos] == c)
        {
            ++pos;
            return true;
        }
        return false;
    }

    static bool isSpace (char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    // ASCII names only, whatever the host's C locale: ours are, so a document with others is
    // not one we wrote.
    static bool isNameStart (char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':'; }
    static bool isNameChar (char c) noexcept { return isNameStart (c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

    void skipSpace() noexcept
    {
        while (pos < text.size() && isSpace (text[pos]))
            ++pos;
    }

    void skipByteOrderMarkAndSpace() noexcept
    {
        if (startsWith ("\xef\xbb\xbf"))
            pos += 3;
        skipSpace();
    }

    std::string_view readName() noexcept
    {
        const auto start = pos;

        if (pos < text.size() && isNameStart (text[pos]))
            while (++pos < text.size() && isNameChar (text[pos])) {}

        return text.substr (start, pos - start);
    }

    /** Reads the attributes up to and including the tag's end. */
    bool readAttributes (NamedValue& found, bool& selfClosing)
    {
        for (;;)
        {
            const auto spaceBefore = pos;
            skipSpace();

            if (consume ('>'))
                return true;

            if (consume ('/'))
                return selfClosing = consume ('>');

            const auto name = readName();

            if (name.empty() || pos == spaceBefore)
                return false;

            skipSpace();

            if (! consume ('='))
                return false;

            skipSpace();

            if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\''))
                return false;

            const auto quote = text[pos++];
            const auto valueEnd = text.find (quote, pos);

            if (valueEnd == std::string_view::npos)
                return false;

            const auto value = text.substr (pos, valueEnd - pos);
            pos = valueEnd + 1;

            if (value.find ('<') != std::string_view::npos)
                return false;

            if (name == "id" && found.id.empty())
                found.id = value;
            else if (name == "value" && ! found.value.has_value())
                found.value = value;
        }
    }
};

/** A number as the framework writes one (optional sign, digits with an optional fraction, an
    optional exponent), read without regard to the C locale; nothing for anything else, including
    "nan", "inf" and numbers beyond double's range. */
std::optional<double> finiteNumber (std::string_view s)
{
    const auto isDigit = [] (char c) { return c >= '0' && c <= '9'; };
    size_t i = 0;

    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;

    const auto mantissaStart = i;
    size_t digits = 0;

    for (; i < s.size() && isDigit (s[i]); ++i) ++digits;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && isDigit (s[i]); ++i) ++digits;

    if (digits == 0)
        return {};

    if (i < s.size() && (s[i] == 'e' || s[i] == 'E'))
    {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (i == s.size() || ! isDigit (s[i]))
            return {};
        while (i < s.size() && isDigit (s[i]))
            ++i;
    }

    if (i != s.size())
        return {};

    double value = 0.0;
    const auto* first = s.data() + mantissaStart;
    const auto result = std::from_chars (first, s.data() + s.size(), value);

    if (result.ec != std::errc() || ! std::isfinite (value))
        return {};

    return s[0] == '-' ? -value : value;
}
} // namespace

void TovaniAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto state = valueTreeState.copyState();
    juce::XmlElement xml (state.getType().toString());

    // A host may have set a parameter to NaN; what is not a finite value of one of ours is left
    // out, so a restore keeps that parameter as it is rather than taking the NaN back.
    for (const auto& child : state)
    {
        const auto& value = child.getProperty (valueProperty);

        if (child.hasType (paramType) && valueTreeState.getParameter (child[idProperty].toString()) != nullptr
            && (value.isDouble() || value.isInt()) && std::isfinite (static_cast<double> (value)))
        {
            auto* param = xml.createNewChildElement (paramType.toString());
            param->setAttribute (idProperty, child[idProperty].toString());
            param->setAttribute (valueProperty, static_cast<double> (value));
        }
    }

    copyXmlToBinary (xml, destData);
}

void TovaniAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto text = wrappedText (data, sizeInBytes);

    if (! text.has_value())
        return;

    // What the document says, per parameter in getParameters() order: a finite number or nothing.
    const auto& parameters = getParameters();
    std::vector<juce::RangedAudioParameter*> ranged;
    std::vector<std::string> ids;

    for (auto* parameter : parameters)
        if (auto* r = dynamic_cast<juce::RangedAudioParameter*> (parameter))
        {
            ranged.push_back (r);
            ids.push_back (r->paramID.toStdString());
        }

    std::vector<std::optional<double>> restoredValues (ranged.size());

    const auto rootIsOurs = [this] (std::string_view name)
    {
        return juce::String (name.data(), name.size()).equalsIgnoreCase (valueTreeState.state.getType().toString());
    };

    const auto collect = [&] (const NamedValue& named)
    {
        for (size_t i = 0; i < ids.size(); ++i)
        {
            if (named.id != ids[i])
                continue;

            // A child without a value stands for the default, as the framework reads it; a value
            // that is no finite number leaves the parameter as it is; one outside the range goes
            // to the nearest end, as any value set on it does.
            if (! named.value.has_value())
                restoredValues[i] = (double) ranged[i]->convertFrom0to1 (ranged[i]->getDefaultValue());
            else if (const auto number = finiteNumber (*named.value))
            {
                const auto& range = ranged[i]->getNormalisableRange();
                restoredValues[i] = juce::jlimit ((double) range.start, (double) range.end, *number);
            }
        }
    };

    if (! StrictStateReader (*text).read (rootIsOurs, collect))
        return;

    // Every parameter gets a child: the framework would reset one that the tree leaves out to its
    // default, and a partial document must change only the parameters it names.
    juce::ValueTree restored (valueTreeState.state.getType());

    for (size_t i = 0; i < ranged.size(); ++i)
    {
        const auto current = (double) ranged[i]->convertFrom0to1 (ranged[i]->getValue());
        const auto value = restoredValues[i].value_or (current);

        if (! std::isfinite (value))
            continue;

        juce::ValueTree child (paramType);
        child.setProperty (idProperty, ranged[i]->paramID, nullptr);
        child.setProperty (valueProperty, value, nullptr);
        restored.appendChild (child, nullptr);
    }

    valueTreeState.replaceState (restored);
}
