#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <limits>
#include <vector>

/** True-peak levels in dB handed from the audio thread to the editor's meter.

    Storage is fixed and every entry is atomic, so a resize on the audio thread never frees or
    moves memory the meter may be reading, and neither side ever waits for the other. The reader
    may see entries from different blocks; each is a value the processor wrote.
*/
class MeterLevels
{
public:
    static constexpr int capacity = 4;   // two groups (input, output) of at most two channels

    MeterLevels() { resize (2); }

    /** The level of a meter that has measured nothing yet: silence, as a silent block reads.
        (Starting at 0 dB would show full-scale bars until the first block arrives.) */
    static constexpr float unmeasured = -std::numeric_limits<float>::infinity();

    /** Entries added start unmeasured; entries that remain keep their values. */
    void resize (int newSize) noexcept
    {
        newSize = newSize < 0 ? 0 : (newSize > capacity ? capacity : newSize);

        for (int i = count.load (std::memory_order_relaxed); i < newSize; ++i)
            levels[(std::size_t) i].store (unmeasured, std::memory_order_relaxed);

        count.store (newSize, std::memory_order_release);
    }

    int size() const noexcept { return count.load (std::memory_order_acquire); }

    void set (int index, float level) noexcept
    {
        if (index >= 0 && index < capacity)
            levels[(std::size_t) index].store (level, std::memory_order_relaxed);
    }

    float operator[] (int index) const noexcept
    {
        return index >= 0 && index < capacity ? levels[(std::size_t) index].load (std::memory_order_relaxed) : 0.0f;
    }

    /** A copy for the message thread. */
    std::vector<float> copy() const
    {
        std::vector<float> result ((std::size_t) size());

        for (std::size_t i = 0; i < result.size(); ++i)
            result[i] = levels[i].load (std::memory_order_relaxed);

        return result;
    }

private:
    std::array<std::atomic<float>, capacity> levels {};
    std::atomic<int> count { 0 };
};
