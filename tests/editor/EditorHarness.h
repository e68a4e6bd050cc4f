#pragma once

#include <processor/ProcessorHarness.h>

#include <editor/PluginEditor.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <dlfcn.h>

/** JUCE leaves X errors to the host's handler, as a plug-in must: a host's toolkit logs them
    and goes on. Without one, Xlib's default handler ends the process at the first, and a bare
    virtual display gives one as soon as a window shows (JUCE reads a property by an atom that only
    a window manager creates). The shown-window run installs a host's kind of handler first. */
inline const bool hostLikeXErrorHandler = []
{
    const char* show = std::getenv ("LUMBRANE_SHOW_EDITOR");

    if (show == nullptr || std::strcmp (show, "1") != 0)
        return false;

    auto* x11 = dlopen ("libX11.so.6", RTLD_NOW | RTLD_GLOBAL);

    if (x11 == nullptr)
        return false;

    using Handler = int (*) (void*, void*);
    using SetErrorHandler = Handler (*) (Handler);
    const auto setErrorHandler = reinterpret_cast<SetErrorHandler> (dlsym (x11, "XSetErrorHandler"));

    if (setErrorHandler == nullptr)
        return false;

    setErrorHandler ([] (void*, void*) { return 0; });
    return true;
}();

/** With LUMBRANE_SHOW_EDITOR=1 (the sanitizer run, under Xvfb) every test editor is also put
    on the desktop and shown, so what only a shown window does, on opening and closing, runs too. */
inline void showIfAsked (juce::Component& editor)
{
    if (juce::SystemStats::getEnvironmentVariable ("LUMBRANE_SHOW_EDITOR", {}) != "1")
        return;

    editor.addToDesktop (0);
    editor.setVisible (true);
}

/** An editor on a prepared processor, painted into an image instead of a window. */
struct EditorHarness
{
    ProcessorHarness host;
    std::unique_ptr<TovaniAudioProcessorEditor> editor;

    explicit EditorHarness (int channels = 2) : host (channels) {}

    TovaniAudioProcessorEditor& open()
    {
        editor = std::make_unique<TovaniAudioProcessorEditor> (*host, host->valueTreeState);
        showIfAsked (*editor);
        paint();
        return *editor;
    }

    TovaniAudioProcessorEditor& operator*() { return *editor; }
    TovaniAudioProcessorEditor* operator->() { return editor.get(); }

    /** Paints the whole window, which also lays it out, as a host's repaint would. */
    juce::Image paint()
    {
        juce::Image image (juce::Image::ARGB, editor->getWidth(), editor->getHeight(), true);
        juce::Graphics g (image);
        editor->paintEntireComponent (g, false);
        return image;
    }

    /** Lets queued notifications (asynchronous slider changes, button clicks) arrive. */
    static void pump (int milliseconds = 20)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
    }

    float parameter (const char* id) { return host->valueTreeState.getRawParameterValue (id)->load(); }
    void setParameter (const char* id, float value) { host.setParameter (id, value); }
};

/** A mouse event for calling a component's enter and exit handlers directly. */
inline juce::MouseEvent mouseEventFor (juce::Component& component)
{
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                             &component, &component, juce::Time::getCurrentTime(), {}, juce::Time::getCurrentTime(), 1, false);
}

/** Sum of absolute channel differences between a pixel and a colour. */
inline int colourDistance (juce::Colour a, juce::Colour b)
{
    return std::abs ((int) a.getRed() - (int) b.getRed()) + std::abs ((int) a.getGreen() - (int) b.getGreen())
         + std::abs ((int) a.getBlue() - (int) b.getBlue());
}

/** True for the lit orange of the value tracks and level strips. */
inline bool isLitOrange (juce::Colour c)
{
    return c.getRed() > 200 && c.getRed() > c.getBlue() + 60;
}

inline bool isWindowColour (juce::Colour c, int tolerance = 6)
{
    return colourDistance (c, juce::Colour (0xff3c3c43)) <= tolerance;
}

/** The point at angle a (clockwise from twelve o'clock) on a circle, in window pixels. */
inline juce::Point<int> onCircle (float cx, float cy, float r, double a)
{
    return { (int) std::lround (cx + r * std::sin (a)), (int) std::lround (cy - r * std::cos (a)) };
}
