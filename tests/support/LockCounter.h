#pragma once

#include <cstddef>

/** Counts mutex acquisitions (pthread_mutex_lock and trylock, which std::mutex and JUCE's
    CriticalSection use) made by the current thread while an instance is alive. */
class LockCounter
{
public:
    LockCounter() noexcept;
    ~LockCounter();

    std::size_t count() const noexcept;

    /** Counts only the locks this lets through (all while it is null); it must not lock itself
        without a guard against recursion. */
    using Filter = bool (*)() noexcept;
    static void setFilter (Filter) noexcept;

    LockCounter (const LockCounter&) = delete;
    LockCounter& operator= (const LockCounter&) = delete;

private:
    std::size_t startCount;
};
