#include "ManualFile.h"

#include <juce_events/juce_events.h>

#include <BinaryData.h>

#include <utility>
#include <vector>

#if JUCE_LINUX || JUCE_BSD
 #include <fcntl.h>
 #include <spawn.h>
 #include <sys/wait.h>

extern char** environ;
#endif

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

#if JUCE_LINUX || JUCE_BSD
namespace
{
/** Starts xdg-open and watches it from a thread of its own. JUCE's launchInDefaultBrowser forks
    a shell it never waits for, so every click left a defunct process and a missing browser went
    unnoticed. One watcher serves the whole process and outlives every window. */
class Opener final : private juce::Thread
{
public:
    Opener() : juce::Thread ("Lumbrane manual opener") {}
    ~Opener() override { stopThread (2000); }

    static Opener& instance()
    {
        static Opener opener;
        return opener;
    }

    void open (const juce::File& file, std::function<void (bool)> done)
    {
        const auto path = file.getFullPathName();
        char* argv[] = { const_cast<char*> ("xdg-open"), const_cast<char*> (path.toRawUTF8()), nullptr };

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init (&actions);
        posix_spawn_file_actions_addopen (&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen (&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init (&attributes);
        // Its own session, so that a browser it starts does not go when the host does.
        posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETSID);

        pid_t pid = 0;
        const int error = posix_spawnp (&pid, "xdg-open", &actions, &attributes, argv, environ);
        posix_spawnattr_destroy (&attributes);
        posix_spawn_file_actions_destroy (&actions);

        if (error != 0)
        {
            report (std::move (done), false);
            return;
        }

        {
            const juce::ScopedLock lock (pendingLock);
            pending.push_back ({ pid, juce::Time::getMillisecondCounter(), std::move (done) });
        }

        if (! isThreadRunning())
            startThread();

        notify();
    }

private:
    struct Child
    {
        pid_t pid;
        juce::uint32 started;
        std::function<void (bool)> done;   // empty once reported
    };

    static void report (std::function<void (bool)> done, bool opened)
    {
        juce::MessageManager::callAsync ([done = std::move (done), opened] { done (opened); });
    }

    void run() override
    {
        // A browser that xdg-open runs in the foreground keeps it alive; past this it counts as opened.
        constexpr juce::uint32 patienceMs = 3000;

        while (! threadShouldExit())
        {
            bool empty;
            {
                const juce::ScopedLock lock (pendingLock);

                for (auto child = pending.begin(); child != pending.end();)
                {
                    int status = 0;

                    if (waitpid (child->pid, &status, WNOHANG) == child->pid)
                    {
                        if (child->done)
                            report (std::move (child->done), WIFEXITED (status) && WEXITSTATUS (status) == 0);

                        child = pending.erase (child);
                        continue;
                    }

                    if (child->done && juce::Time::getMillisecondCounter() - child->started > patienceMs)
                        report (std::exchange (child->done, {}), true);

                    ++child;
                }

                empty = pending.empty();
            }

            wait (empty ? -1 : 100);
        }
    }

    juce::CriticalSection pendingLock;
    std::vector<Child> pending;
};
} // namespace

void openInBrowser (const juce::File& file, std::function<void (bool)> done)
{
    Opener::instance().open (file, std::move (done));
}
#else
void openInBrowser (const juce::File& file, std::function<void (bool)> done)
{
    const bool opened = juce::URL (file).launchInDefaultBrowser();
    juce::MessageManager::callAsync ([done = std::move (done), opened] { done (opened); });
}
#endif
} // namespace ManualFile
