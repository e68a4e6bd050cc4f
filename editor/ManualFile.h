#pragma once

#include <juce_core/juce_core.h>

/** The product manual, compiled in, and its copy in the user's cache folder that the browser opens. */
namespace ManualFile
{
/** The per-user cache folder for the manual: ~/Library/Caches on macOS, the local application
    data folder on Windows, $XDG_CACHE_HOME (or ~/.cache) elsewhere. */
juce::File cacheFolder();

/** Writes the manual into the folder unless an identical copy is there; returns the file, which
    does not exist if it could not be written. */
juce::File writeTo (const juce::File& folder);

/** writeTo (cacheFolder()). */
juce::File writeToCache();
} // namespace ManualFile
