#pragma once

// Saved states that have hurt XML readers: each is wrapped in the framework's binary XML block, as
// a host hands a plug-in back its state.

#include <cstdint>
#include <string>
#include <vector>

namespace HostileStates
{
/** The framework's binary XML block around a text: magic number, text length, text, zero byte. */
inline std::string wrap (const std::string& text)
{
    std::string block (8, '\0');
    const auto put = [&block] (int at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            block[(size_t) (at + i)] = (char) ((v >> (8 * i)) & 0xff);
    };
    put (0, 0x21324356);
    put (4, (std::uint32_t) text.size());
    return block + text + '\0';
}

inline std::string repeated (const std::string& s, int times)
{
    std::string out;
    out.reserve (s.size() * (size_t) times);
    for (int i = 0; i < times; ++i)
        out += s;
    return out;
}

struct State
{
    const char* name;
    std::string text;
};

/** Each of these must leave every parameter as it was. */
inline std::vector<State> refusedWhole()
{
    return {
        // A recursive entity: a reader that expands it recurses until the stack runs out.
        { "EntityBomb", R"(<!DOCTYPE APVT [<!ENTITY a "x&a;">]><APVT><PARAM id="Depth" value="&a;"/></APVT>)" },
        // Nesting a recursive reader cannot survive, and nesting within the size a reader takes.
        { "DeepNesting", "<APVT>" + repeated ("<PARAM id=\"Depth\">", 50000) + repeated ("</PARAM>", 50000) + "</APVT>" },
        { "DeepNestingInSmallText", "<APVT>" + repeated ("<a>", 8000) + repeated ("</a>", 8000) + "</APVT>" },
        // Over a million junk elements beside a real child: slow to read, huge to keep.
        { "JunkChildren", "<APVT><PARAM id=\"Depth\" value=\"-7\"/>" + repeated ("<JUNK x=\"123456789\"/>", 1100000) + "</APVT>" },
    };
}

/** Refused per parameter: the non-finite values; "Output Gain" is restored to -3.5 dB. */
inline std::string nonFiniteValues()
{
    return R"(<APVT><PARAM id="Depth" value="nan"/><PARAM id="Input Gain" value="inf"/>)"
           R"(<PARAM id="Depth EQ" value="1e999"/><PARAM id="Output Gain" value="-3.5"/></APVT>)";
}

/** A real child among unknown ones, of a size any reader takes: "Depth" is restored to 6. */
inline std::string junkAroundAChild()
{
    return "<APVT>" + repeated ("<JUNK a=\"1\"><PARAM id=\"Depth\" value=\"-9\"/></JUNK>", 50)
           + "<PARAM id=\"Depth\" value=\"6\"/><PARAM id=\"Nope\" value=\"1\"/>" + repeated ("<param id=\"Depth\" value=\"2\"/>", 50) + "</APVT>";
}
} // namespace HostileStates
