#pragma once

#include <juce_core/juce_core.h>

#include <functional>

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

/** Hands the file to the desktop's opener without waiting for it. `done` is called later on the
    message thread: false when no opener could be started or it reported a failure, true once it
    succeeded or is still running after a few seconds (a browser it started in the foreground).
    The opener's process is always reaped, so none is left behind defunct. */
void openInBrowser (const juce::File&, std::function<void (bool opened)> done);
} // namespace ManualFile
