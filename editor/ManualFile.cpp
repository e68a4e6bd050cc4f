#include "ManualFile.h"

#include <BinaryData.h>

namespace ManualFile
{
juce::File cacheFolder()
{
    using juce::File;

   #if JUCE_MAC
    const auto base = File::getSpecialLocation (File::userHomeDirectory).getChildFile ("Library/Caches");
   #elif JUCE_WINDOWS
    const auto base = File::getSpecialLocation (File::windowsLocalAppData);
   #else
    const auto xdg = juce::SystemStats::getEnvironmentVariable ("XDG_CACHE_HOME", {});
    const auto base = File::isAbsolutePath (xdg) ? File (xdg)
                                                 : File::getSpecialLocation (File::userHomeDirectory).getChildFile (".cache");
   #endif

    return base.getChildFile ("Quillfern").getChildFile ("Lumbrane");
}

juce::File writeTo (const juce::File& folder)
{
    const auto file = folder.getChildFile ("manual.html");
    const juce::MemoryBlock manual (BinaryData::manual_html, (size_t) BinaryData::manual_htmlSize);

    juce::MemoryBlock existing;

    if (file.existsAsFile() && file.loadFileAsData (existing) && existing == manual)
        return file;

    if (! folder.createDirectory() || ! file.replaceWithData (manual.getData(), manual.getSize()))
        return {};

    return file;
}

juce::File writeToCache()
{
    return writeTo (cacheFolder());
}
} // namespace ManualFile
