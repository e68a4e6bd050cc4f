// The meter levels cross from the audio thread to the editor's timer; neither side may wait, and
// no read may see storage being resized. Run under ThreadSanitizer in the sanitizer build.

#include "ProcessorHarness.h"

#include <gtest/gtest.h>

#include <thread>

TEST (MeterHandOver, CopiesStayWholeWhileBlocksChangeLength)
{
    ProcessorHarness h (2, 48000.0, 64);
    std::atomic<bool> running { true };
    std::atomic<int> copies { 0 };
    std::atomic<int> badCopies { 0 };

    std::thread reader ([&]
    {
        while (running.load())
        {
            const auto levels = h->meterLevels.copy();
            if (levels.size() != 2 && levels.size() != 4)
                ++badCopies;
            for (auto level : levels)
                if (std::isnan (level) || level > 20.0f)
                    ++badCopies;
            ++copies;
        }
    });

    // At least 300 blocks, and on until the reader has overlapped them a while: on a busy machine
    // its thread may not start before 300 short blocks are done.
    const int lengths[] = { 64, 37, 128, 1, 200, 64, 5 };
    for (int block = 0; block < 300 || (copies.load() < 100 && block < 1000000); ++block)
        h.process (h.sineBlock (lengths[block % 7]));

    running = false;
    reader.join();
    EXPECT_EQ (badCopies.load(), 0);
    EXPECT_GT (copies.load(), 0);
}
